// A project's report over a year: 365 daily runs of 1,000 keywords on two engines read from the
// rank history pair by pair (as quillrank-history --report reads a project's list), counted and
// written as one HTML page. The target: under 2 s.
#include <benchmark/benchmark.h>

#include "app/history/project_report.h"
#include "history_fill.h"

namespace quillrank {
namespace {

void BM_ProjectReportOfAYear(benchmark::State& state) {
  const int keywords = static_cast<int>(state.range(0));
  const std::string path = bench::fresh_history_path("report");
  bench::fill_history(path, 365, keywords);
  std::size_t bytes = 0;
  for (auto _ : state) {
    HistoryStore store = HistoryStore::open_for_reading(path, 5000);
    std::vector<HistoryRecord> records;
    for (int keyword = 0; keyword < keywords; ++keyword) {
      for (HistoryRecord& record :
           store.records("shop.example", "keyword " + std::to_string(keyword), "")) {
        records.push_back(std::move(record));
      }
    }
    const ProjectReport report =
        build_project_report(records, "bench", 0, std::numeric_limits<std::int64_t>::max());
    const std::string page = project_report_html(report);
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["page_MiB"] = static_cast<double>(bytes) / (1 << 20);
  bench::remove_history(path);
}
BENCHMARK(BM_ProjectReportOfAYear)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace quillrank

BENCHMARK_MAIN();
