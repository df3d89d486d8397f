// The rank history's hot paths: four worker threads recording 1,000,000 cells through the
// writer as fast as they can, into an SQLite file and into PostgreSQL (total time to the last
// commit, and the longest record call), four workers claiming a queued run's 10,000 rows,
// the record calls of workers that pause between cells as real ones do, and one row's history
// read from a database of 1,000,000 records.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "history/history_writer.h"
#include "history/row_queue.h"
#include "history_fill.h"
#include "support/test_postgres.h"

namespace quillrank {
namespace {

constexpr int kCells = 1'000'000;
constexpr int kWorkers = 4;

// The million cells into `location()` (a fresh history each time; empty: skipped).
template <typename Location>
void record_one_million_cells(benchmark::State& state, Location location) {
  for (auto _ : state) {
    const std::string path = location();
    if (path.empty()) {
      state.SkipWithError(testing::TestPostgres::why_missing().c_str());
      return;
    }
    std::vector<double> longest_ms(kWorkers, 0);
    const auto start = std::chrono::steady_clock::now();
    {
      HistoryWriter writer({.path = path}, {});
      const HistoryWriter::RunId run =
          writer.start_run(now_ms(), "baidu,google,sogou,soso", "batch", "");
      std::vector<std::jthread> workers;
      for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
          static constexpr const char* kKeys[] = {"baidu", "google", "sogou", "soso"};
          for (int i = 0; i < kCells / kWorkers; ++i) {
            CellRecord cell = bench::bench_cell(i, kKeys[w], 0);
            const auto before = std::chrono::steady_clock::now();
            writer.record(run, std::move(cell));
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - before;
            longest_ms[w] = std::max(longest_ms[w], took.count());
          }
        });
      }
      workers.clear();
      writer.end_run(run, RunState::completed, now_ms());
    }  // the writer commits the rest and closes
    const std::chrono::duration<double> total = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(total.count());
    state.counters["longest_record_call_ms"] =
        *std::max_element(longest_ms.begin(), longest_ms.end());
    if (!is_postgres_location(path)) bench::remove_history(path);
  }
  state.counters["cells"] = kCells;
}

void BM_RecordOneMillionCells(benchmark::State& state) {
  record_one_million_cells(state, [] { return bench::fresh_history_path("record"); });
}
BENCHMARK(BM_RecordOneMillionCells)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The same into a PostgreSQL server of the benchmark's own (on a Unix socket, fsync off).
void BM_RecordOneMillionCellsInPostgres(benchmark::State& state) {
  record_one_million_cells(state, [] {
    testing::TestPostgres* server = testing::TestPostgres::get();
    return server ? server->new_database() : std::string();
  });
}
BENCHMARK(BM_RecordOneMillionCellsInPostgres)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Four workers, each with its own connection, claiming and recording the 10,000 cells of one
// queued run: every claim timed; no cell may be claimed twice.
void BM_ClaimTenThousandRowsByFourWorkers(benchmark::State& state) {
  constexpr int kRows = 10'000;
  testing::TestPostgres* server = testing::TestPostgres::get();
  if (!server) {
    state.SkipWithError(testing::TestPostgres::why_missing().c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    const std::string url = server->new_database();
    std::vector<QueuedRow> rows;
    for (int i = 0; i < kRows; ++i) rows.push_back({"shop.example", "k" + std::to_string(i)});
    RowQueue::open(url, 5000, "queuer").enqueue({"baidu"}, rows, {}, "");
    std::vector<std::vector<double>> claim_ms(kWorkers);
    std::vector<std::vector<int>> claimed(kWorkers);
    state.ResumeTiming();
    {
      std::vector<std::jthread> workers;
      for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
          RowQueue queue = RowQueue::open(url, 5000, "worker" + std::to_string(w));
          for (;;) {
            const auto before = std::chrono::steady_clock::now();
            const std::optional<ClaimedCell> cell = queue.claim("baidu", std::chrono::minutes(1));
            claim_ms[w].push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before)
                    .count());
            if (!cell) break;
            claimed[w].push_back(cell->row);
            queue.complete(*cell, bench::bench_cell(cell->row, "baidu", 0));
          }
        });
      }
    }
    std::vector<double> all;
    std::vector<int> rows_claimed;
    for (int w = 0; w < kWorkers; ++w) {
      all.insert(all.end(), claim_ms[w].begin(), claim_ms[w].end());
      rows_claimed.insert(rows_claimed.end(), claimed[w].begin(), claimed[w].end());
    }
    std::sort(all.begin(), all.end());
    std::sort(rows_claimed.begin(), rows_claimed.end());
    const bool each_once =
        rows_claimed.size() == kRows &&
        std::adjacent_find(rows_claimed.begin(), rows_claimed.end()) == rows_claimed.end();
    if (!each_once) state.SkipWithError("a row was claimed twice, or not at all");
    state.counters["claim_mean_ms"] =
        std::accumulate(all.begin(), all.end(), 0.0) / static_cast<double>(all.size());
    state.counters["claim_p99_ms"] = all[all.size() * 99 / 100];
    state.counters["claim_max_ms"] = all.back();
  }
}
BENCHMARK(BM_ClaimTenThousandRowsByFourWorkers)->Unit(benchmark::kMillisecond)->Iterations(1);

// Workers as they run: four threads that each pause between cells (here 50 us, far faster
// than any engine answers), 200,000 cells, each record call timed with the thread's context
// switches around it. A call that switched voluntarily waited for the queue's mutex; one that
// was only switched involuntarily lost its core to another thread. Reports the longest call of
// each kind.
void BM_RecordCallWaits(benchmark::State& state) {
  constexpr int kTimedCells = 200'000;
  for (auto _ : state) {
    const std::string path = bench::fresh_history_path("waits");
    std::vector<double> blocked_ms(kWorkers, 0), preempted_ms(kWorkers, 0);
    {
      HistoryWriter writer({.path = path}, {});
      const HistoryWriter::RunId run = writer.start_run(now_ms(), "baidu", "batch", "");
      std::vector<std::jthread> workers;
      for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
          for (int i = 0; i < kTimedCells / kWorkers; ++i) {
            CellRecord cell = bench::bench_cell(i, "baidu", 0);
            rusage before_usage{}, after_usage{};
            getrusage(RUSAGE_THREAD, &before_usage);
            const auto before = std::chrono::steady_clock::now();
            writer.record(run, std::move(cell));
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - before;
            getrusage(RUSAGE_THREAD, &after_usage);
            double& longest =
                after_usage.ru_nvcsw > before_usage.ru_nvcsw ? blocked_ms[w] : preempted_ms[w];
            longest = std::max(longest, took.count());
            std::this_thread::sleep_for(std::chrono::microseconds(50));
          }
        });
      }
    }
    state.counters["longest_blocked_call_ms"] =
        *std::max_element(blocked_ms.begin(), blocked_ms.end());
    state.counters["longest_other_call_ms"] =
        *std::max_element(preempted_ms.begin(), preempted_ms.end());
    bench::remove_history(path);
  }
}
BENCHMARK(BM_RecordCallWaits)->Unit(benchmark::kMillisecond)->Iterations(3);

// 500 runs of 1,000 keywords on two engines: 1,000,000 records; a row has 1,000 of them.
void BM_RowHistoryFromOneMillionRecords(benchmark::State& state) {
  const std::string path = bench::fresh_history_path("rows");
  bench::fill_history(path, 500, 1000);
  HistoryStore store = HistoryStore::open_for_reading(path, 5000);
  int keyword = 0;
  std::size_t records = 0;
  for (auto _ : state) {
    records = store.row_history("shop.example", "keyword " + std::to_string(keyword)).size();
    keyword = (keyword + 37) % 1000;
  }
  state.counters["records_per_row"] = static_cast<double>(records);
  bench::remove_history(path);
}
BENCHMARK(BM_RowHistoryFromOneMillionRecords)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillrank

BENCHMARK_MAIN();
