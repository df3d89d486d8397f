// The result list out of the window: the whole table to a file (CSV with a UTF-8 byte order
// mark and formula-safe cells, as quillrank-batch writes it, or tab-separated text), and chosen
// rows as tab-separated text for the clipboard.
#pragma once

#include <QString>
#include <vector>

#include "engines/engines.h"
#include "text/result_table.h"

namespace quillrank {

// Tab-separated when `path` ends in .tsv or .txt, else CSV; engine columns captioned with the
// names of `profiles`. Written whole or not at all; false with the reason in `error`.
bool export_result_table(const ResultTable& table, const EngineProfiles& profiles,
                         const QString& path, QString& error);

// `rows`, in the given order, one line each, without a header.
QString result_rows_text(const ResultTable& table, const std::vector<int>& rows);

}  // namespace quillrank
