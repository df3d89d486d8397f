// A project's report over a year: 365 daily runs of 1,000 keywords on two engines, the later half
// of them recorded as the project's runs, read from the rank history (as quillrank-history
// --report reads a project: its runs, and its list's pairs in runs of no project), counted and
// written as one HTML page. The target: under 2 s for the whole. The reading and the writing are
// timed apart too, to show which one a change moves; and the same report written as a workbook.
#include <benchmark/benchmark.h>

#include "app/history/project_report.h"
#include "app/history/project_report_xlsx.h"
#include "history_fill.h"

namespace quillrank {

constexpr int kKeywords = 1000;

// The year's history, written once for every benchmark here (and removed by main).
const std::string& year_history() {
  static const std::string path = [] {
    const std::string made = bench::fresh_history_path("report");
    bench::fill_history(made, 365, kKeywords, "bench");
    return made;
  }();
  return path;
}

namespace {

std::vector<HistoryRecord> read_year() {
  HistoryStore store = HistoryStore::open_for_reading(year_history(), 5000);
  std::set<SitePair> pairs;
  for (int keyword = 0; keyword < kKeywords; ++keyword) {
    pairs.emplace("shop.example", "keyword " + std::to_string(keyword));
  }
  return records_of_pairs(store, "bench", pairs);
}

ProjectReport year_report(const std::vector<HistoryRecord>& records) {
  return build_project_report(records, "bench", 0, std::numeric_limits<std::int64_t>::max());
}

std::string write_report(const std::vector<HistoryRecord>& records) {
  return project_report_html(year_report(records));
}

void BM_ReportWhole(benchmark::State& state) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string page = write_report(read_year());
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["page_MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_ReportWhole)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReportReadingOnly(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(read_year().size());
}
BENCHMARK(BM_ReportReadingOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReportWritingOnly(benchmark::State& state) {
  const std::vector<HistoryRecord> records = read_year();
  for (auto _ : state) benchmark::DoNotOptimize(write_report(records).size());
}
BENCHMARK(BM_ReportWritingOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

// Counting and writing the workbook (its sheets go through temporary files).
void BM_ReportXlsxWritingOnly(benchmark::State& state) {
  const std::vector<HistoryRecord> records = read_year();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string book = project_report_xlsx(year_report(records));
    bytes = book.size();
    benchmark::DoNotOptimize(book.data());
  }
  state.counters["file_MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_ReportXlsxWritingOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  quillrank::year_history();  // written before any timing starts
  benchmark::RunSpecifiedBenchmarks();
  quillrank::bench::remove_history(quillrank::year_history());
  return 0;
}
