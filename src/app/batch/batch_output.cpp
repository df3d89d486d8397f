#include "app/batch/batch_output.h"

#include <array>
#include <vector>

#include "engines/engines.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// Cells come from web pages: a control character (other than tab, CR and LF, which each form
// handles) would reach a terminal as an escape sequence, so it is shown as U+FFFD instead. GBK
// has no C1 controls, so none can come out of the conversion.
std::string visible(std::string_view cell) {
  std::string out;
  out.reserve(cell.size());
  for (const char c : cell) {
    const bool control = (c >= 0 && c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
    out += control ? std::string_view("\xEF\xBF\xBD") : std::string_view(&c, 1);
  }
  return out;
}

std::string tsv_cell(std::string cell) {
  for (char& c : cell) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return cell;
}

// A cell a spreadsheet would run as a formula gets a leading '.
std::string formula_safe(std::string cell) {
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell[0]) != std::string_view::npos) {
    cell = "'" + cell;
  }
  return cell;
}

std::string csv_cell(std::string cell) {
  cell = formula_safe(std::move(cell));
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void append_line(std::string& out, const std::vector<std::string>& cells, bool csv,
                 bool formula_safe_tsv) {
  for (std::size_t column = 0; column < cells.size(); ++column) {
    if (column > 0) out += csv ? ',' : '\t';
    const std::string shown = visible(cells[column]);
    out += csv                ? csv_cell(shown)
           : formula_safe_tsv ? tsv_cell(formula_safe(shown))
                              : tsv_cell(shown);
  }
  out += csv ? "\r\n" : "\n";
}

}  // namespace

std::string visible_text(std::string_view text) { return visible(text); }

std::vector<std::string> result_row_cells(const RunResults& results, int row) {
  const QueryRow asked = results.row(row);
  std::vector<std::string> cells{gbk_to_utf8(site_cell_text(asked)), gbk_to_utf8(asked.keyword)};
  for (std::size_t engine = 0; engine < results.engine_count(); ++engine) {
    cells.push_back(gbk_to_utf8(cell_text(results.cell(row, engine))));
  }
  return cells;
}

std::string format_text_table(const std::vector<std::vector<std::string>>& lines, bool csv,
                              bool formula_safe_tsv) {
  std::string out = csv ? "\xEF\xBB\xBF" : "";
  for (const std::vector<std::string>& cells : lines) {
    append_line(out, cells, csv, formula_safe_tsv);
  }
  return out;
}

std::string format_result_table(const RunResults& results, const Engines& engines, bool csv,
                                const EngineTicks& details) {
  std::vector<std::vector<std::string>> lines(1);
  const int columns = kFirstEngineColumn + static_cast<int>(results.engine_count());
  for (int column = 0; column < columns; ++column) {
    lines[0].emplace_back(column_caption(column, engines));
  }
  const auto detailed = [&](std::size_t engine) {
    return engine < details.size() && details[engine] && engine < engines.size();
  };
  for (std::size_t engine = 0; engine < results.engine_count(); ++engine) {
    if (detailed(engine)) lines[0].push_back(engines[engine].profile.name + "说明");
  }
  const int rows = results.row_count();
  for (int row = 0; row < rows; ++row) {
    std::vector<std::string>& cells = lines.emplace_back(result_row_cells(results, row));
    for (std::size_t engine = 0; engine < results.engine_count(); ++engine) {
      if (detailed(engine)) cells.push_back(gbk_to_utf8(results.cell(row, engine).result.detail));
    }
  }
  return format_text_table(lines, csv);
}

}  // namespace quillrank
