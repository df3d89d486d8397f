// The result list out of the window: the whole table to a file for spreadsheets (CSV with a
// UTF-8 byte order mark, or tab-separated text, formula-safe either way), and chosen rows as
// tab-separated text for the clipboard.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "engines/engines.h"
#include "engines/run_results.h"

namespace quillrank {

// The lines of a result export: a header, then one line per row. Each line starts with the run's
// date and time ("yyyy-MM-dd HH:mm", empty when `run_started` is not valid), then the site and
// the keyword, then for each engine its cell's text and, beside it, the cell's rank as a bare
// number (empty when the cell holds no rank). One pair of columns per engine of `engines`,
// captioned with its profile's name and "<name>排名".
std::vector<std::vector<std::string>> result_export_lines(const RunResults& results,
                                                          const Engines& engines,
                                                          const QDateTime& run_started);

// Writes result_export_lines() to `path`: tab-separated when it ends in .tsv or .txt, else CSV;
// both with cells that a spreadsheet would run as formulas guarded by a leading '. Written
// whole or not at all; false with the reason in `error`.
bool export_result_table(const RunResults& results, const Engines& engines,
                         const QDateTime& run_started, const QString& path, QString& error);

// `rows`, in the given order, one line each, without a header.
QString result_rows_text(const RunResults& results, const std::vector<int>& rows);

}  // namespace quillrank
