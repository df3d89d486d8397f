#include "app/window/result_export.h"

#include <QSaveFile>

#include "app/batch/batch_output.h"
#include "text/text_codec.h"

namespace quillrank {

std::vector<std::vector<std::string>> result_export_lines(const RunResults& results,
                                                          const Engines& engines,
                                                          const QDateTime& run_started) {
  std::vector<std::vector<std::string>> lines(1);
  std::vector<std::string>& header = lines[0];
  header.emplace_back("查询日期");
  header.emplace_back(column_caption(0, engines));
  header.emplace_back(column_caption(1, engines));
  for (const Engine& engine : engines) {
    header.push_back(engine.profile.name);
    header.push_back(engine.profile.name + "排名");
  }
  const std::string date =
      run_started.isValid() ? run_started.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString()
                            : std::string();
  const int rows = results.row_count();
  for (int row = 0; row < rows; ++row) {
    const std::vector<std::string> cells = result_row_cells(results, row);
    std::vector<std::string>& line = lines.emplace_back();
    line.push_back(date);
    line.push_back(cells[0]);
    line.push_back(cells[1]);
    for (std::size_t engine = 0; engine < engines.size(); ++engine) {
      const EngineCell cell = results.cell(row, engine);
      line.push_back(visible_text(gbk_to_utf8(cell_text(cell))));
      const bool ranked = cell.state == CellState::done && cell.result.rank > 0;
      line.push_back(ranked ? std::to_string(cell.result.rank) : std::string());
    }
  }
  return lines;
}

bool export_result_table(const RunResults& results, const Engines& engines,
                         const QDateTime& run_started, const QString& path, QString& error) {
  const bool tab_separated = path.endsWith(QStringLiteral(".tsv"), Qt::CaseInsensitive) ||
                             path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
  const std::string text = format_text_table(result_export_lines(results, engines, run_started),
                                             !tab_separated, /*formula_safe_tsv=*/true);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

QString result_rows_text(const RunResults& results, const std::vector<int>& rows) {
  std::vector<std::vector<std::string>> lines;
  for (const int row : rows) lines.push_back(result_row_cells(results, row));
  const std::string text = format_text_table(lines, false);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace quillrank
