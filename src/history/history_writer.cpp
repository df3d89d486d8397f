#include "history/history_writer.h"

#include <exception>
#include <memory>
#include <unordered_map>

namespace quillrank {

std::int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

HistoryWriter::HistoryWriter(HistoryWriterOptions options, Failure on_failure)
    : options_(std::move(options)), on_failure_(std::move(on_failure)) {
  thread_ = std::jthread([this] { write_loop(); });
}

HistoryWriter::~HistoryWriter() {
  {
    MutexLock lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

HistoryWriter::RunId HistoryWriter::start_run(std::int64_t started_ms, std::string engines,
                                              std::string source, std::string project) {
  RunId run;
  {
    MutexLock lock(mutex_);
    run = next_run_++;
  }
  push(StartRun{run, started_ms, std::move(engines), std::move(source), std::move(project)});
  return run;
}

void HistoryWriter::record(RunId run, CellRecord cell) { push(Cell{run, std::move(cell)}); }

void HistoryWriter::end_run(RunId run, RunState state, std::int64_t ended_ms) {
  push(EndRun{run, state, ended_ms});
}

void HistoryWriter::push(Item item) {
  bool full;
  {
    MutexLock lock(mutex_);
    queue_.push_back(std::move(item));
    ++pushed_;
    full = queue_.size() == options_.commit_at;
  }
  if (full) wake_.notify_one();
}

void HistoryWriter::flush() {
  MutexLock lock(mutex_);
  const std::uint64_t target = pushed_;
  flush_wanted_ = true;
  wake_.notify_one();
  while (written_ < target) written_wake_.wait(mutex_);
}

void HistoryWriter::write_loop() {
  std::unique_ptr<RankHistory> store;
  bool failed = false;
  auto fail = [&](const std::string& why) {
    store.reset();
    failed = true;
    if (on_failure_) on_failure_(why);
  };
  try {
    store = open_history_for_writing(options_.path, options_.busy_timeout_ms);
  } catch (const std::exception& error) {
    fail(error.what());
  }
  std::unordered_map<RunId, std::int64_t> run_ids;  // handle -> row id in the database
  std::deque<Item> batch;
  for (;;) {
    bool last;
    {
      MutexLock lock(mutex_);
      const auto deadline = std::chrono::steady_clock::now() + options_.commit_every;
      while (!closing_ && !flush_wanted_ && queue_.size() < options_.commit_at &&
             wake_.wait_until(mutex_, deadline) != std::cv_status::timeout) {
      }
      batch.swap(queue_);
      flush_wanted_ = false;
      last = closing_;
    }
    if (!failed && !batch.empty()) {
      try {
        store->transaction([&] {
          for (const Item& item : batch) {
            if (const auto* start = std::get_if<StartRun>(&item)) {
              run_ids[start->run] =
                  store->add_run(start->started_ms, start->engines, start->source, start->project);
            } else if (const auto* cell = std::get_if<Cell>(&item)) {
              store->add_cell(run_ids.at(cell->run), cell->cell);
            } else {
              const auto& end = std::get<EndRun>(item);
              store->end_run(run_ids.at(end.run), end.state, end.ended_ms);
            }
          }
        });
      } catch (const std::exception& error) {
        fail(error.what());
      }
    }
    {
      MutexLock lock(mutex_);
      written_ += batch.size();
    }
    written_wake_.notify_all();
    batch.clear();
    if (last) {
      MutexLock lock(mutex_);
      if (queue_.empty()) return;
    }
  }
}

}  // namespace quillrank
