// What a browser fetch costs against the HTTP fetch of the same page: Google's rendered result
// page (tests/fixtures/engines-rendered) served from 127.0.0.1, fetched and made ready to read.
// Counters: the program's peak resident memory and, for the browser, its helper processes'
// resident memory after the pages (Chromium renders in processes of its own).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <fstream>
#include <future>
#include <sstream>

#include "app/browser/browser_pages.h"
#include "app/browser/engine_browser.h"
#include "engines/builtin_profiles.h"
#include "net/page_fetcher.h"
#include "support/fixture_server.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

std::string google_page() {
  std::ifstream file(std::string(QUILLRANK_SOURCE_DIR) +
                         "/tests/fixtures/engines-rendered/google-rendered-results.html",
                     std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A /proc/<pid>/status field in KiB.
long status_kib(const std::string& pid, const std::string& field) {
  std::ifstream status("/proc/" + pid + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
  }
  return 0;
}

// The resident memory of every process whose parent chain leads to this one.
long descendants_rss_kib() {
  const std::string self = std::to_string(getpid());
  long total = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    std::string pid = entry->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
      continue;
    }
    for (std::string at = pid; !at.empty() && at != "1" && at != "0";) {
      std::ifstream status("/proc/" + at + "/status");
      std::string parent;
      for (std::string line; std::getline(status, line);) {
        if (line.starts_with("PPid:")) parent = std::to_string(std::stol(line.substr(5)));
      }
      if (parent == self) {
        total += status_kib(pid, "VmRSS");
        break;
      }
      at = parent;
    }
  }
  if (proc) closedir(proc);
  return total;
}

FetchedPage serve_while(std::future<FetchedPage> page) {
  while (page.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return page.get();
}

void fetch_pages(benchmark::State& state, bool browser) {
  const std::string body = google_page();
  testing::FixtureServer server([&body](const testing::HttpRequest&) {
    return testing::HttpReply{.headers = {{"Content-Type", "text/html; charset=UTF-8"}},
                              .body = body};
  });
  EngineProfile google = kCurrentGoogle;
  google.scheme = "http";
  google.host = "127.0.0.1:" + std::to_string(server.port());
  BrowserPages pages;
  const PageSource source = browser ? pages.sources()(google, {}) : PageFetcher::source();
  const std::string url = gbk_to_utf8(query_url(google, "ai", 1));
  for (auto _ : state) {
    const FetchedPage page =
        serve_while(std::async(std::launch::async, [&] { return source(url, {}); }));
    if (!page.ok()) state.SkipWithError(page.error.c_str());
    benchmark::DoNotOptimize(page.body.bytes.data());
  }
  state.counters["peak_rss_MiB"] = status_kib(std::to_string(getpid()), "VmHWM") / 1024.0;
  state.counters["helpers_rss_MiB"] = descendants_rss_kib() / 1024.0;
}

// From a stop request to the worker's return, while the browser waits for a page that stalls.
void stop_a_browser_fetch(benchmark::State& state) {
  testing::FixtureServer server([](const testing::HttpRequest&) {
    return testing::HttpReply{.body = "late", .stall_before_reply = std::chrono::seconds(10)};
  });
  EngineProfile profile = kCurrentGoogle;
  profile.scheme = "http";
  profile.host = "127.0.0.1:" + std::to_string(server.port());
  BrowserPages pages;
  const PageSource source = pages.sources()(profile, {});
  const std::string url = gbk_to_utf8(query_url(profile, "ai", 1));
  for (auto _ : state) {
    std::stop_source stop;
    auto page = std::async(std::launch::async, [&] { return source(url, stop.get_token()); });
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    const auto asked = std::chrono::steady_clock::now();
    stop.request_stop();
    page.wait();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
  }
}

BENCHMARK_CAPTURE(fetch_pages, http, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(fetch_pages, browser, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(stop_a_browser_fetch)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  int qt_argc = 1;
  QGuiApplication application(qt_argc, argv);
  quillrank::browser_loopback_only();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
