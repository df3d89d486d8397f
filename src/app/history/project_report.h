// A project's report for a period: visibility per engine over its runs (share of the project's
// cells in the top 3 / 10 / 30 and ranked), the biggest moves, every keyword with its rank, move
// and trend, and the blocked or failed share of each run; written as one self-contained HTML
// page (inline CSS and SVG, no scripts, nothing fetched from elsewhere).
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "history/movement.h"
#include "history/rank_history.h"

namespace quillrank {

// One run of one engine, counted over the project's cells it holds.
struct VisibilityPoint {
  std::int64_t run_id = 0;
  std::int64_t started_ms = 0;
  int cells = 0;
  int top3 = 0, top10 = 0, top30 = 0, ranked = 0;
  int blocked = 0, failed = 0;  // cells refused, or without a usable page
};

struct EngineVisibility {
  std::string engine;
  std::vector<VisibilityPoint> runs;  // oldest first
};

// A site, keyword and engine: its latest rank in the period, the one before, and every run's.
struct KeywordTrend {
  std::string site, keyword, engine;
  std::optional<int> rank, previous;
  Movement move;
  std::vector<std::optional<int>> ranks;  // oldest first
};

struct ProjectReport {
  std::string project;
  std::string period = {};  // "2026-01-01 .. 2026-03-31", or "all runs"
  std::vector<EngineVisibility> engines = {};
  std::vector<KeywordTrend> keywords = {};  // in the records' order of first appearance
};

// A site and keyword (UTF-8, the site bare), as a project's list gives them.
using SitePair = std::pair<std::string, std::string>;

// The records of the project called `project` whose list holds `pairs`: every record of the
// runs of the project, and those of `pairs` from runs of no project (recorded without one, or
// before runs had one), oldest run first; runs of other projects are left out. For a few pairs
// the project's runs are read, then the pairs one by one; for more, the history is read in one
// pass, keeping what is the project's (a thousand queries cost three times that pass).
std::vector<HistoryRecord> records_of_pairs(RankHistory& store, const std::string& project,
                                            const std::set<SitePair>& pairs);

// The report of `records` (the project's pairs' records) from runs started in [from_ms, to_ms].
ProjectReport build_project_report(const std::vector<HistoryRecord>& records,
                                   const std::string& project, std::int64_t from_ms,
                                   std::int64_t to_ms);

// The moves a report lists, each in the report's order unless said: the biggest moves up and
// down (at most kBiggestMoves each, biggest first), every keyword newly ranked and every one
// that fell out. They point into the report.
struct ReportMoves {
  static constexpr std::size_t kBiggestMoves = 20;
  std::vector<const KeywordTrend*> up, down, fresh, lost;
};
ReportMoves report_moves(const ProjectReport& report);

std::string project_report_html(const ProjectReport& report);

// "YYYY-MM-DD" as local midnight in ms since 1970; nullopt when it is no such date.
std::optional<std::int64_t> parse_report_date(const std::string& text);

}  // namespace quillrank
