// A project's report as the file a person asks for, from whichever program asks: the records of
// the project's runs (and of its list's pairs in runs of no project), the report of a period,
// as an HTML page or, for a name ending in .xlsx, as an Excel workbook.
#pragma once

#include <string>
#include <vector>

#include "history/rank_history.h"
#include "projects/project_store.h"

namespace quillrank {

// The records a project's report and its CSV are made of.
std::vector<HistoryRecord> project_records(RankHistory& store, const Project& project);

// The report file's bytes, of the runs from `from_day` to `to_day` ("YYYY-MM-DD", both days
// whole; empty: from the first run, to the latest). Throws std::runtime_error when the workbook
// cannot be made.
std::string project_report_file(RankHistory& store, const Project& project,
                                const std::string& from_day, const std::string& to_day,
                                const std::string& file_name);

}  // namespace quillrank
