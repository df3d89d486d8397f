// RowQueue: the shared queue of rows in the PostgreSQL history. A queued run is a run of the
// history (source "queue") whose rows wait, one cell per row and engine, for workers on any
// machine. A worker claims one cell at a time (FOR UPDATE SKIP LOCKED): the claim is a lease
// that ends unless the worker renews it, so a worker that dies loses nothing; its cells go to
// the next claim. The cell's record and the end of its claim are one transaction, made only by
// the lease's holder, so every cell is recorded once. One connection: one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/pg_history_store.h"

namespace quillrank {

// One row of a queued run, UTF-8.
struct QueuedRow {
  std::string site, keyword;
};

// A claimed cell: the run's row `row` (0-based) for the engine called `engine`.
struct ClaimedCell {
  std::int64_t run_id = 0;
  int row = 0;
  std::string engine;
  QueuedRow asked;
};

// A queued run's rows and the cells recorded so far, by row and then by the run's engines.
struct QueuedRun {
  std::vector<std::string> engines;
  std::vector<QueuedRow> rows;
  std::vector<std::vector<std::optional<CellRecord>>> cells;
};

class RowQueue {
 public:
  // Connects, bringing the history's schema up to date and making the queue's tables.
  // `owner` names this worker in its leases (a machine and process).
  static RowQueue open(const std::string& url, int timeout_ms, std::string owner);

  // A new run asking `engines` (keys) for `rows`; `decided` gives, for some rows, the result
  // every engine's cell reads without asking (recorded at once). The run is of the project
  // called `project` (empty: none). Returns the run's id.
  std::int64_t enqueue(const std::vector<std::string>& engines, const std::vector<QueuedRow>& rows,
                       const std::vector<std::pair<int, CellRecord>>& decided,
                       const std::string& project);

  // Leases the first cell of the engine that nobody holds (no claim, or one that expired) to
  // this owner for `lease`; nullopt when there is none.
  std::optional<ClaimedCell> claim(const std::string& engine, std::chrono::milliseconds lease);
  // Extends every lease this owner holds by `lease` from now; how many.
  int renew(std::chrono::milliseconds lease);
  // Records `cell` for the claimed cell and ends the claim, in one transaction, when this owner
  // still holds it; completes the run when it was its last cell. False when another worker has
  // taken it over (and records nothing).
  bool complete(const ClaimedCell& claimed, const CellRecord& cell);
  // Cells of the engine not yet recorded, in any run, claimed or not.
  int open_cells(const std::string& engine);

  // The queued run's state (completed once every cell is recorded); nullopt when there is none.
  std::optional<RunState> state(std::int64_t run_id);
  // The queued run `run_id`; nullopt when there is none.
  std::optional<QueuedRun> run(std::int64_t run_id);

  RankHistory& history() { return store_; }

 private:
  RowQueue(PgHistoryStore store, std::string owner)
      : store_(std::move(store)), owner_(std::move(owner)) {}
  PgConnection& db() { return store_.connection(); }
  void complete_run_when_done(const std::string& run_id);

  PgHistoryStore store_;
  std::string owner_;
};

}  // namespace quillrank
