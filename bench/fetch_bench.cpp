// Fetching and ranking over loopback: what fetch adds over a bare libcurl GET, the cost of
// ranking one large result page, and whole runs against a server that answers at once.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/run_control.h"
#include "engines/engine_worker.h"
#include "net/page_fetcher.h"
#include "support/engine_pages.h"
#include "support/fake_run_host.h"
#include "support/fixture_server.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

FixtureServer& page_server() {
  static FixtureServer server(
      [](const HttpRequest&) { return HttpReply{.body = std::string(300 * 1024, 'x')}; });
  return server;
}

void BM_FetchPage300K(benchmark::State& state) {
  const std::string url = page_server().base_url() + "/page";
  for (auto _ : state) benchmark::DoNotOptimize(PageFetcher::instance().fetch(url));
}
BENCHMARK(BM_FetchPage300K)->UseRealTime()->Unit(benchmark::kMicrosecond);

std::size_t keep_body(char* data, std::size_t size, std::size_t n, void* body) {
  static_cast<std::string*>(body)->append(data, size * n);
  return size * n;
}

void BM_BareCurlGet300K(benchmark::State& state) {
  const std::string url = page_server().base_url() + "/page";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (auto _ : state) {
    std::string body;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_BareCurlGet300K)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A 500 KB Baidu page with the site's link near its end: presence test and both extractions.
void BM_RankOneResultPage(benchmark::State& state) {
  std::string page;
  while (page.size() < 500 * 1024)
    page += testing::engine_result_page(kBaidu, "http://x.example/", -1);
  page += testing::engine_result_page(kBaidu, "http://shop.example/", 7);
  const std::string marker = std::string(kBaidu.link_prefix) + "\"http://shop.example";
  for (auto _ : state) {
    const int found = find_text(page, marker, true);
    benchmark::DoNotOptimize(rank_cell_text(kBaidu, page, found, text_length(marker), 1));
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_RankOneResultPage)->Unit(benchmark::kMicrosecond);

// 1,000 rows on all four engines, every site found on its first page: 4,000 fetches. Compare
// the time per row with BM_FetchSmallResultPage to see what is not the fetch.
void BM_RunThousandRows(benchmark::State& state) {
  FixtureServer server([](const HttpRequest& request) {
    for (const EngineProfile* engine : kEngines) {
      if (request.header("Host") == engine->host) {
        return HttpReply{.body = testing::engine_result_page(*engine, "http://shop.example/", 5)};
      }
    }
    return HttpReply{.status = 404};
  });
  ::setenv("http_proxy", server.base_url().c_str(), 1);
  std::string box;
  for (int i = 0; i < 1000; ++i) box += "shop.example|k" + std::to_string(i) + "\r\n";
  for (auto _ : state) {
    testing::FakeRunHost host(box, {true, true, true, true});
    ResultTable table;
    RunControl control(host, table, PageFetcher::source(), PageFetcher::source());
    std::atomic<bool> finished{false};
    control.set_run_finished([&] { finished = true; });
    control.start_query();
    while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::unsetenv("http_proxy");
  state.counters["rows_per_second_per_engine"] =
      benchmark::Counter(1000.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunThousandRows)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_FetchSmallResultPage(benchmark::State& state) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 5)};
  });
  const std::string url = server.base_url() + "/s";
  for (auto _ : state) benchmark::DoNotOptimize(PageFetcher::instance().fetch(url));
}
BENCHMARK(BM_FetchSmallResultPage)->UseRealTime()->Unit(benchmark::kMicrosecond);

// From a stop request to the end of a fetch whose server stalls (aim: well under 100 ms).
void BM_StopAStalledFetch(benchmark::State& state) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = "x", .stall_before_reply = std::chrono::seconds(60)};
  });
  const std::string url = server.base_url() + "/stall";
  for (auto _ : state) {
    state.PauseTiming();
    std::stop_source stop;
    const std::size_t before = server.request_count();
    std::thread fetch([&] { PageFetcher::instance().fetch(url, stop.get_token()); });
    while (server.request_count() == before)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.ResumeTiming();
    stop.request_stop();
    fetch.join();
  }
}
BENCHMARK(BM_StopAStalledFetch)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace quillrank
