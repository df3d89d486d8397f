// Fetching and ranking over loopback: what fetch adds over a bare libcurl GET, the cost of
// ranking one large result page, whole runs against a server that answers at once, a session's
// kept TLS connection against a new one per page, and one worker's peak memory on a bomb.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/run_session.h"
#include "engines/engine_client.h"
#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "engines/page_verdict.h"
#include "net/page_fetcher.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/gzip.h"
#include "tls_server.h"

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

// A 500 KB Baidu page with the site's link near its end.
const std::string& big_result_page() {
  static const std::string page = [] {
    std::string text;
    while (text.size() < 500 * 1024)
      text += testing::engine_result_page(kBaidu, "http://x.example/", -1);
    return text + testing::engine_result_page(kBaidu, "http://shop.example/", 7);
  }();
  return page;
}

// Ranking the big page: presence test and both extractions.
void BM_RankOneResultPage(benchmark::State& state) {
  const std::string& page = big_result_page();
  for (auto _ : state) {
    const FoundLink link = find_site_link(kBaidu, page, "http://shop.example");
    benchmark::DoNotOptimize(read_rank(kBaidu, page, link, 1));
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_RankOneResultPage)->Unit(benchmark::kMicrosecond);

// A 500 KB page whose results carry both shapes: today's card with its real address in "mu"
// (https) and the built-in Baidu link with its id; the site is the last result but two.
const std::string& card_page() {
  static const std::string page = [] {
    std::string text;
    for (int n = 1; text.size() < 500 * 1024; ++n) {
      const std::string address =
          text.size() > 499 * 1024 ? "shop.example/" : "r" + std::to_string(n) + ".example/";
      text += "<div class=\"result c-container\" mu=\"https://" + address + "\"><table><tr><td>" +
              kBaidu.link_prefix + "\"http://" + address + "\" id=\"" + std::to_string(n + 1) +
              "\"><tr><td class=x>result " + std::to_string(n) + "</td></tr></table></div>";
    }
    return text;
  }();
  return page;
}

// Ranking the card page as a profile asks: 0 the built-in Baidu profile (one scheme, the rank
// field after the link), 1 link_ordinal with two link schemes.
void BM_RankCardPage(benchmark::State& state) {
  const EngineProfile profile = state.range(0) == 0 ? kBaidu : testing::card_profile();
  const std::string& page = card_page();
  for (auto _ : state) {
    const FoundLink link = find_site_link(profile, page, "http://shop.example");
    if (link.at == -1) state.SkipWithError("the site is on the page");
    benchmark::DoNotOptimize(read_rank(profile, page, link, 1));
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_RankCardPage)->ArgName("link_ordinal")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The verdict on the big page (a result page), and on a 500 KB page of the same size that holds
// no result link, where every signature is sought in vain.
void BM_JudgePage(benchmark::State& state) {
  FetchedPage page;
  page.transport = Transport::complete;
  page.status = 200;
  page.final_url = "http://www.baidu.com/s?wd=seo&pn=0&rn=100";
  page.body.bytes = big_result_page();
  if (state.range(0) == 0) {
    page.body.bytes = replace_text(page.body.bytes, kBaidu.link_prefix, "}) data=", true);
  }
  for (auto _ : state) benchmark::DoNotOptimize(judge_page(kBaidu, page));
  state.SetBytesProcessed(state.iterations() * page.body.size());
}
BENCHMARK(BM_JudgePage)->ArgName("result")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A stop request to a worker in the middle of a 30 s pause between two requests, until the
// worker has returned (aim: 100 ms).
void BM_StopAWorkerInAPause(benchmark::State& state) {
  for (auto _ : state) {
    const std::vector<QueryRow> rows(2, QueryRow{GbkText("shop.example"), GbkText("seo"), {}});
    std::atomic<int> fetches{0};
    const PageSource fetch = [&](std::string_view, std::stop_token) {
      ++fetches;
      FetchedPage page;
      page.transport = Transport::complete;
      page.status = 200;
      page.body.bytes = testing::engine_result_page(kBaidu, "http://shop.example/", 0);
      return page;
    };
    std::jthread worker([&](std::stop_token stop) {
      run_engine_worker(kBaidu, rows, fetch, {.delay_min = 30, .delay_max = 30}, stop);
    });
    while (fetches == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    worker.request_stop();
    worker.join();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK(BM_StopAWorkerInAPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// 1,000 rows on all four engines, every site found on its first page: 4,000 fetches. Compare
// the time per row with BM_FetchSmallResultPage to see what is not the fetch.
void BM_RunThousandRows(benchmark::State& state) {
  FixtureServer server([](const HttpRequest& request) {
    for (const Engine& engine : builtin_engines(ProfileSet::classic)) {
      if (request.header("Host") == engine.profile.host) {
        return HttpReply{
            .body = testing::engine_result_page(engine.profile, "http://shop.example/", 5)};
      }
    }
    return HttpReply{.status = 404};
  });
  ::setenv("http_proxy", server.base_url().c_str(), 1);
  std::string box;
  for (int i = 0; i < 1000; ++i) box += "shop.example|k" + std::to_string(i) + "\r\n";
  const KeywordList list = split_keyword_list(box);
  for (auto _ : state) {
    RunResults results;
    RunSession session(results, PageFetcher::source(), PageFetcher::source());
    session.set_engines(builtin_engines(ProfileSet::classic));
    std::atomic<bool> finished{false};
    session.set_run_finished([&](RunSession::RunEnd) { finished = true; });
    session.start(list, {true, true, true, true});
    while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::unsetenv("http_proxy");
  state.counters["rows_per_second_per_engine"] =
      benchmark::Counter(1000.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunThousandRows)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// 200 rows of one engine paced at 0.2 s between requests, through 1 and through 8 local proxies
// (each a pool member with its own pacing clock): rows per second (aim: at least 6 times as many
// with 8) and the process's peak memory with 8 members.
void BM_PoolOfProxies(benchmark::State& state) {
  const int members = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<FixtureServer>> proxies;
  Engine engine = builtin_engines(ProfileSet::classic).front();
  engine.pacing = {.delay_min = 0.2, .delay_max = 0.2, .retries = 0};
  engine.pool = {.proxies = {}, .direct = false};
  for (int member = 0; member < members; ++member) {
    proxies.push_back(std::make_unique<FixtureServer>([](const HttpRequest&) {
      return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 3)};
    }));
    engine.pool.proxies.push_back(proxies.back()->base_url());
  }
  std::string list;
  for (int row = 0; row < 200; ++row) list += "shop.example|k" + std::to_string(row) + "\n";
  const KeywordList rows = split_keyword_list(list);
  for (auto _ : state) {
    RunResults results;
    RunSession session(results, PageFetcher::source(), PageFetcher::source());
    session.set_engines({engine});
    session.set_worker_sources(live_engine_sources({}));
    std::atomic<bool> finished{false};
    session.set_run_finished([&](RunSession::RunEnd) { finished = true; });
    session.start(rows, {true});
    while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["rows_per_second"] =
      benchmark::Counter(200.0 * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_PoolOfProxies)
    ->ArgName("members")
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// 30 result pages of one engine from a local HTTPS server, as the current profiles ask for them:
// one session for all 30 (its connection and TLS session kept), or a new session, connection
// and TLS handshake for every page (aim: reuse at least twice as fast).
void BM_ThirtyPagesOverTls(benchmark::State& state) {
  const bool reuse = state.range(0) == 1;
  bench::TlsServer server("www.baidu.com", std::string(60 * 1024, 'r'));
  const RequestOptions options = request_options(kCurrentBaidu);
  const SessionSetup setup{.connect_to = server.route(), .ca_file = server.ca_file()};
  for (auto _ : state) {
    PageSource session = PageFetcher::session_source(setup);
    for (int page = 0; page < 30; ++page) {
      if (!reuse) session = PageFetcher::session_source(setup);
      const std::string url = "https://www.baidu.com/s?wd=seo&pn=" + std::to_string(page * 10);
      if (!session(PageRequest(url, &options), {}).ok()) state.SkipWithError("a page failed");
    }
  }
  state.counters["handshakes_per_run"] =
      benchmark::Counter(server.handshakes(), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ThirtyPagesOverTls)
    ->ArgName("reuse")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The peak memory of a process whose one session fetches a page, against one that fetches a
// compression bomb (a 40 KB gzip body that decodes to 64 MiB) and fails it at the 16 MiB cap.
// Each fetch runs in a child process of its own, so its peak is its own.
void BM_PeakMemoryOnABomb(benchmark::State& state) {
  const bool bomb = state.range(0) == 1;
  const std::string body = bomb ? testing::gzip(std::string(64u << 20, '\0'))
                                : testing::gzip(std::string(60 * 1024, 'r'));
  FixtureServer server([&body](const HttpRequest&) {
    return HttpReply{.headers = {{"Content-Encoding", "gzip"}}, .body = body};
  });
  long peak_kib = 0;
  for (auto _ : state) {
    const pid_t child = fork();
    if (child == 0) {
      const PageSource session = PageFetcher::session_source({.connect_to = server.route()});
      const RequestOptions options = request_options(kCurrentBaidu);
      const FetchedPage page = session(PageRequest("http://www.baidu.com/s", &options), {});
      _exit(page.transport == (bomb ? Transport::too_long : Transport::complete) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("unexpected fetch");
    peak_kib = std::max(peak_kib, usage.ru_maxrss);
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_kib) / 1024;
}
BENCHMARK(BM_PeakMemoryOnABomb)
    ->ArgName("bomb")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

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
