#include "app/batch/shared_queue.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include "app/run_session.h"
#include "history/run_recorder.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// Waits `duration` unless `stop` comes first; false when it did.
bool pause(std::chrono::milliseconds duration, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, duration, [] { return false; });
  return !stop.stop_requested();
}

// One engine's thread: claims, ranks and records cells until none of the engine's is open.
int work_engine(const QueueWork& work, const Engine& engine, const WorkerSources& sources,
                std::stop_token stop, const std::function<void(const std::string&)>& warn) {
  int recorded = 0;
  try {
    RowQueue queue = RowQueue::open(work.url, work.timeout_ms, work.owner);
    const std::vector<PoolMember> members = pool_members(engine, sources);
    bool first = true;
    while (!stop.stop_requested()) {
      const std::optional<ClaimedCell> claimed = queue.claim(engine.key, work.lease);
      if (!claimed) {
        // Cells others hold may come free when their leases end: wait while any is open.
        if (queue.open_cells(engine.key) == 0 || !pause(work.idle_poll, stop)) break;
        continue;
      }
      // The engine's pacing between rows as well as between a row's pages.
      if (!first &&
          !pause(std::chrono::milliseconds(static_cast<long>(engine.pacing.delay_min * 1000)),
                 stop)) {
        break;
      }
      first = false;
      const QueryRow row{.site = utf8_to_gbk_text(claimed->asked.site),
                         .keyword = utf8_to_gbk_text(claimed->asked.keyword),
                         .entry = {}};
      std::optional<RowResult> result;
      WorkerHooks hooks;
      hooks.row_done = [&result](int, const RowResult& decided) { result = decided; };
      run_engine_pool(engine.profile, std::span(&row, 1), members, engine.pacing,
                      engine.pool.failures, stop, hooks);
      if (!result) break;  // stopped: the claim expires for another worker
      if (queue.complete(*claimed, cell_record(row, engine.key, *result, now_ms()))) ++recorded;
    }
  } catch (const std::exception& error) {
    warn(engine.key + ": " + error.what());
  }
  return recorded;
}

}  // namespace

std::string worker_name() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::random_device random;
  return std::string(host) + ":" + std::to_string(getpid()) + ":" + std::to_string(random());
}

std::int64_t enqueue_rows(RowQueue& queue, const KeywordList& list,
                          const std::vector<FailedEntry>& failed, const Engines& engines,
                          const EngineTicks& ticks, const std::string& project) {
  std::vector<std::string> keys;
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    if (engine < ticks.size() && ticks[engine]) keys.push_back(engines[engine].key);
  }
  std::vector<QueuedRow> rows;
  std::vector<std::pair<int, CellRecord>> decided;
  for (const QueryRow& row : list.rows) {
    const int index = static_cast<int>(rows.size());
    rows.push_back({gbk_to_utf8(row.site), gbk_to_utf8(row.keyword)});
    if (!row.keyword.empty()) continue;
    const RowResult result = unasked_row_result(row, failed);
    for (const std::string& key : keys) {
      decided.emplace_back(index, cell_record(row, key, result, now_ms()));
    }
  }
  return queue.enqueue(keys, rows, decided, project);
}

int work_queue(const QueueWork& work, const Engines& engines, const WorkerSources& sources,
               std::stop_token stop, const std::function<void(const std::string&)>& warn) {
  try {
    RowQueue::open(work.url, work.timeout_ms, work.owner);  // a server that is not there: once
  } catch (const std::exception& error) {
    warn(error.what());
    return 0;
  }
  std::atomic<int> recorded{0};
  std::stop_source done;  // the engines' threads have all ended: the leases need no renewal
  std::jthread renewer([&](std::stop_token) {
    try {
      RowQueue queue = RowQueue::open(work.url, work.timeout_ms, work.owner);
      while (pause(work.lease / 3, done.get_token())) queue.renew(work.lease);
    } catch (const std::exception& error) {
      warn(std::string("renewing the leases: ") + error.what());
    }
  });
  {
    std::vector<std::jthread> threads;
    for (const Engine& engine : engines) {
      threads.emplace_back([&work, &engine, &sources, &stop, &warn, &recorded] {
        recorded += work_engine(work, engine, sources, stop, warn);
      });
    }
  }
  done.request_stop();
  return recorded;
}

bool wait_for_run(RowQueue& queue, std::int64_t run_id, const Engines& engines,
                  std::chrono::milliseconds poll, std::stop_token stop, RunResults& results) {
  for (std::optional<RunState> state = queue.state(run_id); state != RunState::completed;
       state = queue.state(run_id)) {
    if (!state || !pause(poll, stop)) return false;
  }
  const std::optional<QueuedRun> run = queue.run(run_id);
  if (!run) return false;
  std::vector<std::size_t> columns;  // the run's engines, by index into `engines`
  std::vector<CellState> states(engines.size(), CellState::not_asked);
  for (const std::string& key : run->engines) {
    const std::optional<std::size_t> index = engine_index(engines, key);
    if (!index) throw std::runtime_error("the run asks engine '" + key + "', unknown here");
    columns.push_back(*index);
    states[*index] = CellState::querying;
  }
  auto rows = std::make_shared<std::vector<QueryRow>>();
  for (const QueuedRow& row : run->rows) {
    rows->push_back({utf8_to_gbk_text(row.site), utf8_to_gbk_text(row.keyword), {}});
  }
  results.reset(rows, states);
  for (std::size_t row = 0; row < run->rows.size(); ++row) {
    for (std::size_t engine = 0; engine < columns.size(); ++engine) {
      results.set_result(
          static_cast<int>(row), columns[engine],
          run->cells[row][engine] ? recorded_result(*run->cells[row][engine]) : RowResult{});
    }
  }
  return true;
}

}  // namespace quillrank
