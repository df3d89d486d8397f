// HistoryWriter: the one thread that writes the rank history. Callers on any thread queue runs
// and cells and never wait for the database: a push takes a mutex and nothing more. The thread
// opens the database itself, then commits what is queued in one transaction every second or
// every 100 records. When the database cannot be opened (a PostgreSQL server down or refusing),
// stays locked past the busy timeout or is corrupt, it tells its failure hook once and drops
// everything from then on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <variant>

#include "history/rank_history.h"
#include "text/mutex.h"

namespace quillrank {

struct HistoryWriterOptions {
  std::string path;            // an SQLite file, or a PostgreSQL database's URL
  int busy_timeout_ms = 3000;  // how long a write waits for another writer's lock
  std::chrono::milliseconds commit_every{1000};
  std::size_t commit_at = 100;  // queued records that wake the writer before the second is up
};

class HistoryWriter {
 public:
  // Hears, once and on the writer's thread, why the history stopped being written.
  using Failure = std::function<void(const std::string& message)>;

  HistoryWriter(HistoryWriterOptions options, Failure on_failure);
  ~HistoryWriter();  // commits what is queued, then ends the thread
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // A run's handle for the records that follow. `engines`: keys, comma-separated; `source`:
  // "window" or "batch"; `project`: the project the run ranks, empty for none.
  using RunId = std::uint64_t;
  RunId start_run(std::int64_t started_ms, std::string engines, std::string source,
                  std::string project);
  void record(RunId run, CellRecord cell);
  void end_run(RunId run, RunState state, std::int64_t ended_ms);

  // Waits until everything queued before the call is committed (or dropped after a failure).
  void flush();

  const std::string& path() const { return options_.path; }

 private:
  struct StartRun {
    RunId run;
    std::int64_t started_ms;
    std::string engines, source, project;
  };
  struct Cell {
    RunId run;
    CellRecord cell;
  };
  struct EndRun {
    RunId run;
    RunState state;
    std::int64_t ended_ms;
  };
  using Item = std::variant<StartRun, Cell, EndRun>;

  void push(Item item);
  void write_loop();

  const HistoryWriterOptions options_;
  const Failure on_failure_;

  Mutex mutex_;
  std::condition_variable_any wake_;          // the writer: a full batch, a flush or the end
  std::condition_variable_any written_wake_;  // flush(): a batch was committed
  // A deque: a push never moves what is queued, however far the writer is behind.
  std::deque<Item> queue_ GUARDED_BY(mutex_);
  RunId next_run_ GUARDED_BY(mutex_) = 1;
  std::uint64_t pushed_ GUARDED_BY(mutex_) = 0;
  std::uint64_t written_ GUARDED_BY(mutex_) = 0;
  bool flush_wanted_ GUARDED_BY(mutex_) = false;
  bool closing_ GUARDED_BY(mutex_) = false;

  std::jthread thread_;  // last: starts once everything above exists
};

// Milliseconds since 1970, as the history records times.
std::int64_t now_ms();

}  // namespace quillrank
