#include "app/window/result_export.h"

#include <QSaveFile>

#include "app/batch/batch_output.h"

namespace quillrank {

bool export_result_table(const ResultTable& table, const EngineProfiles& profiles,
                         const QString& path, QString& error) {
  const bool tab_separated = path.endsWith(QStringLiteral(".tsv"), Qt::CaseInsensitive) ||
                             path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
  const std::string text = format_result_table(table, !tab_separated, NoDetails(), profiles);
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

QString result_rows_text(const ResultTable& table, const std::vector<int>& rows) {
  std::vector<std::vector<std::string>> lines;
  for (const int row : rows) lines.push_back(result_row_cells(table, row));
  const std::string text = format_text_table(lines, false);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace quillrank
