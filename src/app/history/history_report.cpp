#include "app/history/history_report.h"

#include <algorithm>

#include "history/movement.h"

namespace quillrank {
namespace {

std::string rank_text(const std::optional<int>& rank) {
  return rank ? std::to_string(*rank) : std::string();
}

bool matches(const HistoryOptions& options, const std::string& site, const std::string& keyword,
             const std::string& engine) {
  return (options.site.empty() || options.site == site) &&
         (options.keyword.empty() || options.keyword == keyword) &&
         (options.engine.empty() || options.engine == engine);
}

// The runs --project covers: those of the project named, else every run.
ProjectFilter project_filter(const HistoryOptions& options) {
  return options.project.empty() ? kAnyProject : ProjectFilter(options.project);
}

TextLines latest(RankHistory& store, const HistoryOptions& options) {
  TextLines lines{
      {"site", "keyword", "engine", "rank", "cell", "time", "previous", "previous_time", "change"}};
  for (const LatestRank& rank : store.latest_ranks(project_filter(options))) {
    const CellRecord& cell = rank.latest.cell;
    if (!matches(options, cell.site, cell.keyword, cell.engine)) continue;
    const std::optional<int> previous =
        rank.previous ? rank.previous->cell.rank : std::optional<int>();
    lines.push_back({cell.site, cell.keyword, cell.engine, rank_text(cell.rank), cell.text,
                     format_time(cell.time_ms), rank_text(previous),
                     rank.previous ? format_time(rank.previous->cell.time_ms) : std::string(),
                     movement_change(movement(cell.rank, previous))});
  }
  return lines;
}

TextLines runs(RankHistory& store, const HistoryOptions& options) {
  TextLines lines{{"run", "started", "source", "engines", "state", "cells", "ranked", "project"}};
  for (const RunRow& run : store.runs(project_filter(options))) {
    lines.push_back({std::to_string(run.id), format_time(run.started_ms), run.source, run.engines,
                     std::string(run_state_name(run.state)), std::to_string(run.cells),
                     std::to_string(run.ranked), run.project});
  }
  return lines;
}

TextLines full(RankHistory& store, const HistoryOptions& options) {
  TextLines lines{{"run", "run_state", "time", "site", "keyword", "engine", "rank", "cell",
                   "verdict", "reason"}};
  for (const HistoryRecord& record : store.records({.site = options.site,
                                     .keyword = options.keyword,
                                     .engine = options.engine,
                                     .project = project_filter(options)})) {
    const CellRecord& cell = record.cell;
    lines.push_back({std::to_string(record.run_id), std::string(run_state_name(record.run_state)),
                     format_time(cell.time_ms), cell.site, cell.keyword, cell.engine,
                     rank_text(cell.rank), cell.text, cell.verdict, cell.reason});
  }
  return lines;
}

// True when both runs ranked the site, each at a known address, and not at the same one: the
// engine shows another page of the site.
bool address_moved(const RankMove& move) {
  return move.current && move.previous && !move.current_address.empty() &&
         !move.previous_address.empty() && move.current_address != move.previous_address;
}

// Changed ranks by the size of the move, then ranks that stayed at another address, then newly
// ranked, then no longer ranked.
TextLines moves(RankHistory& store, const HistoryOptions& options) {
  std::vector<RankMove> moved;
  for (RankMove& move : store.last_moves(project_filter(options))) {
    if ((move.current == move.previous && !address_moved(move)) ||
        !matches(options, move.site, move.keyword, move.engine)) {
      continue;
    }
    moved.push_back(std::move(move));
  }
  auto order = [](const RankMove& move) {
    if (move.current && move.previous) return std::abs(*move.current - *move.previous);
    return move.current ? -1 : -2;
  };
  std::stable_sort(moved.begin(), moved.end(),
                   [&](const RankMove& a, const RankMove& b) { return order(a) > order(b); });
  TextLines lines{
      {"site", "keyword", "engine", "previous", "rank", "change", "previous_address", "address"}};
  for (const RankMove& move : moved) {
    std::string change =
        move.current ? movement_change(movement(move.current, move.previous)) : "lost";
    if (change.empty()) change = "other page";  // the same rank, another address
    lines.push_back({move.site, move.keyword, move.engine, rank_text(move.previous),
                     rank_text(move.current), change, move.previous_address, move.current_address});
  }
  return lines;
}

}  // namespace

TextLines history_report(RankHistory& store, const HistoryOptions& options) {
  switch (options.report) {
    case HistoryOptions::Report::runs:
      return runs(store, options);
    case HistoryOptions::Report::full:
      return full(store, options);
    case HistoryOptions::Report::moves:
      return moves(store, options);
    case HistoryOptions::Report::latest:
      break;
  }
  return latest(store, options);
}

}  // namespace quillrank
