// Opening the history dialog of a row with 365 runs: the row's history read from the database,
// the chart and the table of runs built, and the dialog shown and painted once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include "app/window/history_dialog.h"
#include "app/window/startup.h"
#include "history_fill.h"

namespace quillrank {
namespace {

void BM_OpenHistoryDialogOf365Runs(benchmark::State& state) {
  const std::string path = bench::fresh_history_path("dialog");
  bench::fill_history(path, 365, 20);
  for (auto _ : state) {
    HistoryStore store = HistoryStore::open_for_reading(path, 5000);
    const std::vector<HistoryRecord> records = store.row_history("shop.example", "keyword 3");
    HistoryDialog dialog(QStringLiteral("shop.example"), QStringLiteral("keyword 3"), records);
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
    dialog.grab();  // one full paint, the chart included
    benchmark::DoNotOptimize(records.data());
  }
  bench::remove_history(path);
}
BENCHMARK(BM_OpenHistoryDialogOf365Runs)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
