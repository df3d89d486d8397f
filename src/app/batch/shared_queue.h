// The batch command's shared queue of rows (--enqueue, --work, --wait): a run's rows stored in
// the PostgreSQL history, ranked by workers on any number of machines with their own settings,
// and its table once every cell is recorded.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engines/engine_client.h"
#include "engines/engines.h"
#include "engines/run_results.h"
#include "history/row_queue.h"
#include "keywords/keyword_list.h"
#include "net/site_expansion.h"

namespace quillrank {

// Queues `list`'s rows for the engines `ticks` ticks, as a run of the project called `project`
// (empty: none); a row without a keyword is decided at once, as a plain run decides it.
// Returns the run's id.
std::int64_t enqueue_rows(RowQueue& queue, const KeywordList& list,
                          const std::vector<FailedEntry>& failed, const Engines& engines,
                          const EngineTicks& ticks, const std::string& project);

struct QueueWork {
  std::string url;
  std::string owner;  // this worker's name in its leases
  std::chrono::milliseconds lease{60'000};
  std::chrono::milliseconds idle_poll{250};  // how often to look again while others hold cells
  int timeout_ms = 5000;
};

// Works the queue with `engines` (each with its profile, pacing and pool) until no cell of any
// of them is open, or `stop`: one thread per engine claims a cell, ranks it through the
// engine's pool and records it; another renews the leases. A database failure is told to `warn`
// and ends the engine's thread (its claims expire for others). Returns the cells recorded.
int work_queue(const QueueWork& work, const Engines& engines, const WorkerSources& sources,
               std::stop_token stop, const std::function<void(const std::string&)>& warn);

// Fills `results` with the queued run's rows and cells over `engines`, as a plain batch's, once
// every cell is recorded (looking every `poll`). False when there is no such run or `stop`
// came first. Throws std::runtime_error when a queued engine is not one of `engines`.
bool wait_for_run(RowQueue& queue, std::int64_t run_id, const Engines& engines,
                  std::chrono::milliseconds poll, std::stop_token stop, RunResults& results);

// hostname:pid:random, so leases of two workers never share a name.
std::string worker_name();

}  // namespace quillrank
