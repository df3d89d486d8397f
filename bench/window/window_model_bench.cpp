// The result list under a large run's traffic: 10,000 rows set on the window's thread as a start
// does, then a result for every row from one worker thread per engine (4 engines, the classic
// set's; and 8, in a larger window) while the window's event loop runs, flushes and repaints.
// Reports the longest stall of the event loop (the longest single flush or paint step, or any
// other) and the total time.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QThread>
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

class NoDesktop : public Desktop {
 public:
  std::optional<QString> choose_file(QFileDialog&) override { return std::nullopt; }
  void warn(QWidget*, const QString&, const QString&) override {}
  bool ask(QWidget*, const QString&, const QString&) override { return true; }
  std::optional<QString> ask_text(QWidget*, const QString&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
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

// Times each event the window's thread handles at the top of its loop: one flush, one repaint of
// the window, one timer. Wall time counts what the thread waited for (the results' lock, the
// cores the writers take); thread time only what it computed.
class StepTimedApplication : public QApplication {
 public:
  using QApplication::QApplication;

  void start() {
    longest_wall_ns_ = longest_cpu_ns_ = 0;
    measuring_ = true;
  }
  void stop() { measuring_ = false; }
  double longest_wall_ms() const { return longest_wall_ns_ / 1e6; }
  double longest_cpu_ms() const { return longest_cpu_ns_ / 1e6; }

  bool notify(QObject* receiver, QEvent* event) override {
    if (!measuring_ || depth_ > 0 || QThread::currentThread() != thread()) {
      return QApplication::notify(receiver, event);
    }
    ++depth_;
    const std::int64_t cpu = thread_cpu_ns();
    QElapsedTimer wall;
    wall.start();
    const bool handled = QApplication::notify(receiver, event);
    longest_wall_ns_ = std::max<std::int64_t>(longest_wall_ns_, wall.nsecsElapsed());
    longest_cpu_ns_ = std::max(longest_cpu_ns_, thread_cpu_ns() - cpu);
    --depth_;
    return handled;
  }

 private:
  static std::int64_t thread_cpu_ns() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
  }

  bool measuring_ = false;
  int depth_ = 0;  // events sent while one is handled belong to its step
  std::int64_t longest_wall_ns_ = 0, longest_cpu_ns_ = 0;
};

// The rows a start sets, every engine asked.
void fill_rows(RunResults& results, std::size_t engines) {
  std::vector<QueryRow> rows;
  rows.reserve(kRows);
  for (int row = 0; row < kRows; ++row) {
    rows.push_back(
        {"site" + std::to_string(row) + ".example", "keyword " + std::to_string(row), ""});
  }
  results.reset(std::make_shared<const std::vector<QueryRow>>(std::move(rows)),
                std::vector<CellState>(engines, CellState::querying));
}

// `count` engines: the built-in ones, then copies of Baidu under keys of their own.
Engines bench_engines(std::size_t count) {
  Engines engines = builtin_engines(ProfileSet::current);
  engines.resize(std::min(count, engines.size()));
  while (engines.size() < count) {
    Engine extra = engines[0];
    extra.key = "extra" + std::to_string(engines.size());
    extra.profile.name = "Extra" + std::to_string(engines.size());
    engines.push_back(extra);
  }
  return engines;
}

// state.range(0): the engines (columns 2 on); state.range(1): the window's width; state.range(2):
// microseconds each writer pauses after every 10 results (0: none, the writers take every core).
void BM_RunTrafficThroughTheModel(benchmark::State& state) {
  const auto writers_count = static_cast<std::size_t>(state.range(0));
  const std::chrono::microseconds pause(state.range(2));
  NoDesktop desktop;
  const PageSource nothing = [](std::string_view, std::stop_token) { return FetchedPage{}; };
  MainWindow window(desktop, nothing, nothing);
  window.set_engines(bench_engines(writers_count));
  window.resize(static_cast<int>(state.range(1)), 800);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    state.SkipWithError("the window was never exposed");
    return;
  }
  QTest::qWait(300);  // let the web view settle before measuring

  StallMeter meter;
  auto& steps = static_cast<StepTimedApplication&>(*QCoreApplication::instance());
  double longest_stall_ms = 0, fill_ms = 0, longest_step_ms = 0, longest_step_cpu_ms = 0;
  for (auto _ : state) {
    QElapsedTimer total;
    total.start();
    fill_rows(window.results(), writers_count);
    window.model().flush();
    fill_ms = std::max(fill_ms, total.nsecsElapsed() / 1e6);

    QEventLoop loop;
    std::atomic<int> running{static_cast<int>(writers_count)};
    std::vector<std::thread> writers;
    meter.start();
    steps.start();
    for (std::size_t writer = 0; writer < writers_count; ++writer) {
      writers.emplace_back([&, writer] {
        for (int row = 0; row < kRows; ++row) {
          RowResult result;
          result.rank = row % 300 + 1;
          result.text = "\xB5\xDA" + std::to_string(result.rank) + "\xC3\xFB";  // 第N名
          result.address = "http://site" + std::to_string(row) + ".example/";
          window.results().set_result(row, writer, std::move(result));
          if (pause.count() > 0 && row % 10 == 9) std::this_thread::sleep_for(pause);
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
    steps.stop();
    longest_stall_ms = std::max(longest_stall_ms, meter.longest_stall_ms());
    longest_step_ms = std::max(longest_step_ms, steps.longest_wall_ms());
    longest_step_cpu_ms = std::max(longest_step_cpu_ms, steps.longest_cpu_ms());
    state.SetIterationTime(total.nsecsElapsed() / 1e9);
  }
  state.counters["longest_stall_ms"] = longest_stall_ms;
  state.counters["longest_step_ms"] = longest_step_ms;
  state.counters["longest_step_cpu_ms"] = longest_step_cpu_ms;
  state.counters["fill_ms"] = fill_ms;
  state.counters["cell_updates"] = static_cast<double>(kRows * writers_count);
}
BENCHMARK(BM_RunTrafficThroughTheModel)
    ->ArgNames({"engines", "width", "pause_us"})
    ->Args({4, 813, 0})     // the classic set at the first size, writers flat out
    ->Args({8, 1400, 0})    // eight engine columns in a wide window, writers flat out
    ->Args({8, 1400, 500})  // the same, each writer some 20,000 results a second
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
  quillrank::StepTimedApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
