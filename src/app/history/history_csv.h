// A project's rank history as CSV and back, to move it between machines: one line per recorded
// cell with its run's start, state, engines, source and project, every field quoted (RFC 4180,
// UTF-8, no byte order mark). Importing adds each run whose start, source and engines the history
// does not hold yet, so the same file imported twice adds nothing the second time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "history/rank_history.h"

namespace quillrank {

inline constexpr std::size_t kMaxHistoryCsvBytes = std::size_t{512} << 20;

// One run as the file holds it.
struct CsvRun {
  std::int64_t started_ms = 0;
  RunState state = RunState::completed;
  std::string engines;  // "baidu,google"
  std::string source;   // "window" or "batch"
  std::string project;  // empty: none
  std::vector<CellRecord> cells;
};

// The header line and one line per cell of `records`, their runs' fields from `runs`.
std::string history_csv(const std::vector<HistoryRecord>& records, const std::vector<RunRow>& runs);

// The runs of a file history_csv wrote (consecutive lines of one run make one run), or
// "line N: what is wrong". A file from before runs had a project (no run_project column) gives
// its runs `older_project`.
std::variant<std::vector<CsvRun>, std::string> parse_history_csv(std::string_view text,
                                                                 const std::string& older_project);

struct ImportCounts {
  int runs_added = 0, runs_present = 0, cells_added = 0;
};

// Adds the runs `store` does not hold yet (same start, source and engines), one transaction
// each.
ImportCounts import_history_runs(RankHistory& store, const std::vector<CsvRun>& runs);

}  // namespace quillrank
