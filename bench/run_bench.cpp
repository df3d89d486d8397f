// One run as data, at scale: 10,000 rows against an in-memory page source, with the four classic
// engines and with eight (the four and four more of the same shape under keys of their own).
// Reports rows per second per engine (aim: eight engines no slower per engine than four) and the
// heap the run's results hold (aim: flat per engine and row). The source answers at once (what
// the program itself costs: the engines share the machine's cores) or after 200 µs (pages that
// take time to come, as every real engine's do).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "app/run_session.h"
#include "engines/builtin_profiles.h"
#include "support/engine_pages.h"

namespace quillrank {
namespace {

constexpr int kRows = 10000;

// The heap in use, in bytes.
double heap_bytes() { return static_cast<double>(mallinfo2().uordblks); }

Engines engines_of(int count) {
  Engines engines = builtin_engines(ProfileSet::classic);
  for (int copy = 0; static_cast<int>(engines.size()) < count; ++copy) {
    Engine more = engines[static_cast<std::size_t>(copy)];
    more.key += "_copy";
    engines.push_back(std::move(more));
  }
  return engines;
}

// Every engine's first page, with the site at its fourth place: one fetch a row.
PageSource pages_after(std::chrono::microseconds latency) {
  auto pages = std::make_shared<std::map<std::string, FetchedPage>>();
  for (const Engine& engine : builtin_engines(ProfileSet::classic)) {
    FetchedPage page;
    page.transport = Transport::complete;
    page.status = 200;
    page.body.bytes = testing::engine_result_page(engine.profile, "http://shop.example/", 3);
    (*pages)["http://" + engine.profile.host + "/"] = std::move(page);
  }
  return [pages, latency](std::string_view url, std::stop_token) {
    if (latency.count() > 0) std::this_thread::sleep_for(latency);
    const std::size_t host_end = url.find('/', 7);
    return pages->at(std::string(url.substr(0, host_end + 1)));
  };
}

void BM_RunTenThousandRows(benchmark::State& state) {
  const int engine_count = static_cast<int>(state.range(0));
  std::string list;
  for (int row = 0; row < kRows; ++row) list += "shop.example|k" + std::to_string(row) + "\n";
  const KeywordList rows = split_keyword_list(list);
  const Engines engines = engines_of(engine_count);
  const PageSource pages = pages_after(std::chrono::microseconds(state.range(1)));
  double held = 0;
  for (auto _ : state) {
    RunResults results;
    RunSession session(results, pages, pages);
    session.set_engines(engines);
    std::atomic<bool> finished{false};
    session.set_run_finished([&](RunSession::RunEnd) { finished = true; });
    const double before = heap_bytes();
    session.start(rows, EngineTicks(engines.size(), true));
    while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    held = heap_bytes() - before;
    if (results.cell(kRows - 1, engines.size() - 1).result.rank != 4) {
      state.SkipWithError("the last row was not ranked");
    }
  }
  state.counters["rows_per_second_per_engine"] = benchmark::Counter(
      static_cast<double>(kRows) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["results_MiB"] = held / (1 << 20);  // with the rows, which the run shares
  state.counters["bytes_per_cell"] = held / (static_cast<double>(kRows) * engine_count);
}
BENCHMARK(BM_RunTenThousandRows)
    ->ArgNames({"engines", "latency_us"})
    ->Args({4, 0})
    ->Args({8, 0})
    ->Args({4, 200})
    ->Args({8, 200})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace quillrank
