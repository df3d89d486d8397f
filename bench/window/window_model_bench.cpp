// The result list under a large run's traffic: 10,000 rows filled on the window's thread as a
// start does, then 40,000 cell writes from four worker threads while the window's event loop
// runs and repaints. Reports the longest stall of the event loop and the total time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "app/window/main_window.h"
#include "app/window/startup.h"
#include "engines/engine_worker.h"

namespace quillrank {
namespace {

constexpr int kRows = 10000;
constexpr int kWriters = 4;  // one per engine column

class NoDesktop : public Desktop {
 public:
  std::optional<QString> choose_file(QFileDialog&) override { return std::nullopt; }
  void warn(QWidget*, const QString&, const QString&) override {}
  bool ask(QWidget*, const QString&, const QString&) override { return true; }
  bool open_url(const QUrl&) override { return false; }
};

// The longest time the event loop went without running a 1 ms timer, less that millisecond.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longest_ns_ = std::max(longest_ns_, clock_.nsecsElapsed());
      clock_.restart();
    });
  }
  void start() {
    longest_ns_ = 0;
    clock_.start();
    timer_.start();
  }
  double longest_stall_ms() const { return std::max<qint64>(0, longest_ns_ - 1'000'000) / 1e6; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ns_ = 0;
};

// What start_query writes for a row with Baidu and Google ticked.
void fill_rows(ResultTable& table) {
  table.delete_all_rows();
  for (int row = 0; row < kRows; ++row) {
    table.insert_row(-1, "http://site" + std::to_string(row) + ".example");
    table.set_cell_text(row, 1, "keyword " + std::to_string(row));
    for (int column = 2; column < 6; ++column) table.set_cell_text(row, column, kNotStartedText);
    for (int column = 2; column < 6; ++column) table.set_cell_text(row, column, kQueryingText);
  }
}

void BM_RunTrafficThroughTheModel(benchmark::State& state) {
  NoDesktop desktop;
  const PageSource nothing = [](std::string_view, std::stop_token) { return FetchedPage{}; };
  MainWindow window(desktop, nothing, nothing);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    state.SkipWithError("the window was never exposed");
    return;
  }
  QTest::qWait(300);  // let the web view settle before measuring

  StallMeter meter;
  double longest_stall_ms = 0, fill_ms = 0;
  for (auto _ : state) {
    QElapsedTimer total;
    total.start();
    fill_rows(window.table());
    window.model().flush();
    fill_ms = std::max(fill_ms, total.nsecsElapsed() / 1e6);

    QEventLoop loop;
    std::atomic<int> running{kWriters};
    std::vector<std::thread> writers;
    meter.start();
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.emplace_back([&, column = 2 + writer] {
        for (int row = 0; row < kRows; ++row) {
          window.table().set_cell_text(row, column,
                                       "\xB5\xDA" + std::to_string(row % 300 + 1) + "\xC3\xFB");
        }
        if (running.fetch_sub(1) == 1) {
          QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        }
      });
    }
    loop.exec();
    for (std::thread& writer : writers) writer.join();
    // Until the last notice is flushed and painted.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    longest_stall_ms = std::max(longest_stall_ms, meter.longest_stall_ms());
    state.SetIterationTime(total.nsecsElapsed() / 1e9);
  }
  state.counters["longest_stall_ms"] = longest_stall_ms;
  state.counters["fill_ms"] = fill_ms;
  state.counters["cell_updates"] = kRows * kWriters;
}
BENCHMARK(BM_RunTrafficThroughTheModel)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
