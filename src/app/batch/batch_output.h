// The final result table of a batch run as UTF-8 text: tab-separated, or CSV for spreadsheets.
#pragma once

#include <string>
#include <vector>

#include "engines/engines.h"
#include "engines/run_results.h"

namespace quillrank {

// A header line of the column captions (site, keyword, each engine's profile name), then one
// line per row, each ended by CR LF for CSV and by LF otherwise. Any other control character in
// a cell (C0 or DEL) becomes U+FFFD. Tab-separated: a tab, CR or LF inside a cell becomes one
// blank. CSV (RFC 4180, with a UTF-8 byte order mark): cells quoted where needed, and a cell
// that starts with =, +, -, @, a tab or a CR is prefixed with ' so a spreadsheet does not run it
// as a formula. With `details`, one more column per engine ticked there: "<name>说明", each
// cell's detail.
using NoDetails = EngineTicks;
std::string format_result_table(const RunResults& results, const Engines& engines, bool csv,
                                const EngineTicks& details = NoDetails());

// The cells of `row` as format_result_table writes them (UTF-8, control characters shown):
// "http://" + the site, the keyword, each engine's cell text.
std::vector<std::string> result_row_cells(const RunResults& results, int row);

// UTF-8 text with its control characters (but tab, CR and LF) shown as U+FFFD, as cells are.
std::string visible_text(std::string_view text);

// Lines of UTF-8 cells in the same two forms: tab-separated, or CSV with its byte order mark.
// `formula_safe_tsv` gives tab-separated cells the CSV's formula guard as well, for files that a
// spreadsheet opens.
std::string format_text_table(const std::vector<std::vector<std::string>>& lines, bool csv,
                              bool formula_safe_tsv = false);

}  // namespace quillrank
