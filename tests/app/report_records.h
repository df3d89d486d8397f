// Records of a small project for the report's tests: three daily runs of four keywords on
// Baidu (one moving up, one down, one newly ranked, one falling out), one on Google.
#pragma once

#include <string>
#include <vector>

#include "app/history/project_report.h"

namespace quillrank {

constexpr std::int64_t kDay = 24LL * 3600 * 1000;
inline const std::int64_t kStart = *parse_report_date("2026-03-01");

inline HistoryRecord record(int run, const std::string& keyword, std::optional<int> rank,
                            const std::string& verdict = "result",
                            const std::string& engine = "baidu") {
  HistoryRecord made;
  made.run_id = run;
  made.run_started_ms = kStart + run * kDay;
  made.run_state = RunState::completed;
  made.cell.site = "a.com";
  made.cell.keyword = keyword;
  made.cell.engine = engine;
  made.cell.rank = rank;
  made.cell.verdict = verdict;
  return made;
}

// Three daily runs of four keywords on Baidu, one on Google.
inline std::vector<HistoryRecord> three_runs() {
  return {record(0, "up", 12),
          record(0, "down", 2),
          record(0, "new", std::nullopt),
          record(0, "lost", 25),
          record(1, "up", 9),
          record(1, "down", 2),
          record(1, "new", std::nullopt, "blocked"),
          record(1, "lost", 25),
          record(2, "up", 1),
          record(2, "down", 8),
          record(2, "new", 30),
          record(2, "lost", std::nullopt),
          record(2, "up", 4, "result", "google")};
}

}  // namespace quillrank
