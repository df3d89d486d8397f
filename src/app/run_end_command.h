// The command the settings' on_run_end names, told of each finished run: a summary of the run
// (counts, moves against the run before, engines that were blocked) as JSON on its standard
// input, QUILLRANK_RUN_ID and QUILLRANK_PROJECT in its environment. It never stops anything: a
// command that fails, cannot start or outlives its time limit is only reported.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engines/engines.h"
#include "engines/run_results.h"
#include "history/rank_history.h"

namespace quillrank {

struct RunSummary {
  std::optional<std::int64_t> run_id = {};  // the rank history's, when the run was recorded
  std::string project = {};                 // empty: a list that is no project
  bool completed = true;
  std::vector<std::string> engines = {};  // the asked engines' keys
  int rows = 0;
  int ranked = 0;  // cells with a rank
  int up = 0, down = 0, new_ranks = 0, lost = 0;
  std::vector<std::string> blocked = {};  // keys of engines that were refused at least once
};

// The rank the run before gave a row on an engine (by row and engine index).
using PreviousRank = std::function<std::optional<int>(int row, std::size_t engine)>;

// The summary of `results` for the ticked engines; moves are counted as result_movement does.
RunSummary summarize_run(const RunResults& results, const Engines& engines,
                         const EngineTicks& ticks, const PreviousRank& previous);

// The summary of a run as summarize_run makes it, its moves against the runs the history at
// `history` (empty: none) holds from before `started`, and its run id there: the run `source`
// recorded at `started`. Without a history that can be read, or without `started` (the run was
// not recorded), no moves and no run id. `project` and `completed` are the run's.
RunSummary summarize_recorded_run(const RunResults& results, const Engines& engines,
                                  const EngineTicks& ticks, const std::string& history,
                                  std::optional<std::int64_t> started, const std::string& source,
                                  RunSummary run);

// The id of the run `source` recorded at `started` for `project` ("": none) in `store`.
std::optional<std::int64_t> recorded_run_id(RankHistory& store, std::int64_t started,
                                            const std::string& source, const std::string& project);

// {"run_id":12,"project":"...","completed":true,"engines":["baidu"],"rows":3,"ranked":2,
//  "up":1,"down":0,"new":1,"lost":0,"blocked":[]} and a line end.
std::string run_summary_json(const RunSummary& summary);

inline constexpr std::chrono::seconds kRunEndCommandLimit{30};

// Runs `command` through /bin/sh -c with the summary on standard input (its standard output goes
// to standard error, so it never mixes with a table on standard output). Waits up to `limit`, or
// until `stop` is requested (the program closes), then kills it (and what it started). nullopt
// when it exited 0; else what went wrong, in English.
std::optional<std::string> run_end_command(const std::string& command, const RunSummary& summary,
                                           std::chrono::milliseconds limit = kRunEndCommandLimit,
                                           std::stop_token stop = {});

}  // namespace quillrank
