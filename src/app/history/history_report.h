// quillrank-history's reports: what the history store reads, as lines of UTF-8 cells with a
// header line first, for format_text_table.
#pragma once

#include <string>
#include <vector>

#include "app/history/history_options.h"
#include "history/rank_history.h"

namespace quillrank {

using TextLines = std::vector<std::vector<std::string>>;

TextLines history_report(RankHistory& store, const HistoryOptions& options);

}  // namespace quillrank
