// The browser as an engine's page source, against pages a fixture server on 127.0.0.1 plays:
// results its script writes, pages that never come or are stopped, Google's rendered result
// page and captcha, and the cookie file it shares with the engine's HTTP client.
#include "app/browser/browser_pages.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "engines/builtin_profiles.h"
#include "engines/engine_worker.h"
#include "net/cookie_jar.h"
#include "net/page_fetcher.h"
#include "support/fixture_server.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

// Runs `work` on a thread of its own while this thread serves the browser's pages.
template <class Work>
auto off_this_thread(Work work) {
  auto done = std::async(std::launch::async, std::move(work));
  while (done.wait_for(0s) != std::future_status::ready) {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done.get();
}

// An engine at the fixture server whose result links are <a class="res" href=...>.
EngineProfile engine_at(const FixtureServer& server) {
  return {.name = "Fixture",
          .host = "127.0.0.1:" + std::to_string(server.port()),
          .query_path = "/s?q=",
          .page_count = 1,
          .keyword_encoding = KeywordEncoding::utf8,
          .link_prefix = "<a class=\"res\" href=",
          .rank_rule = RankRule::link_ordinal,
          .fetch = FetchKind::browser,
          .ready_selector = "a.res"};
}

// The row's result as one worker decides it through `source`.
RowResult rank(const EngineProfile& profile, const PageSource& source, const std::string& site,
               std::stop_token stop = {}) {
  const std::vector<QueryRow> rows = {{site, utf8_to_gbk_text("seo"), {}}};
  RowResult result;
  WorkerHooks hooks{.row_done = [&result](int, const RowResult& done) { result = done; }};
  off_this_thread([&] { run_engine_worker(profile, rows, source, {}, stop, hooks); });
  return result;
}

// The links are put together by the script, so the page as sent holds none.
const char kScriptedResults[] = R"(<html><body><div id="r"></div><script>
const link = (to) => '<a class' + '="res" href="' + to + '">' + to + '</a>';
setTimeout(() => { document.getElementById("r").innerHTML =
  link("http://other.example/") + link("http://shop.example/x"); }, 200);
</script></body></html>)";

TEST(BrowserPages, RanksAPageWhoseResultsItsScriptWrites) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = kScriptedResults}; });
  BrowserPages browser;
  const EngineProfile profile = engine_at(server);
  const RowResult read = rank(profile, PageFetcher::source(), "shop.example");
  EXPECT_EQ(read.verdict, Verdict::unrecognised) << "the HTTP client sees no result link";
  EXPECT_EQ(gbk_to_utf8(read.text), "页面无法识别");

  const RowResult rendered = rank(profile, browser.sources()(profile, {}), "shop.example");
  EXPECT_EQ(gbk_to_utf8(rendered.text), "第2名") << gbk_to_utf8(rendered.detail);
  EXPECT_EQ(rendered.address, "http://shop.example/x");
}

// A page that never arrives fails at its limit; one that arrives without results is read a
// few seconds after it loaded and judged as it stands; a stop ends the wait at once.
TEST(BrowserPages, APageThatNeverSettlesFailsAndAStopEndsTheWaitAtOnce) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.target.find("q=empty") != std::string::npos) {
      return HttpReply{.body = "<html><body>nothing to see</body></html>"};
    }
    return HttpReply{.body = "late", .stall_before_reply = 20s};
  });
  BrowserPages browser;
  EngineProfile profile = engine_at(server);
  profile.render_seconds = 1;
  const PageSource source = browser.sources()(profile, {});
  const auto fetch = [&](const std::string& keyword, std::stop_token stop = {}) {
    const std::string url = gbk_to_utf8(query_url(profile, keyword, 1));
    return off_this_thread([&] { return source(url, stop); });
  };

  const auto started = std::chrono::steady_clock::now();
  const FetchedPage stalled = fetch("stall");
  EXPECT_EQ(stalled.transport, Transport::failed);
  EXPECT_EQ(stalled.error, "browser: the page was not read within 1 s");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

  profile.render_seconds = 30;
  const PageSource patient = browser.sources()(profile, {});
  const FetchedPage empty =
      off_this_thread([&] { return patient(gbk_to_utf8(query_url(profile, "empty", 1)), {}); });
  EXPECT_TRUE(empty.ok());
  EXPECT_NE(empty.body.bytes.find("nothing to see"), std::string::npos);
  EXPECT_EQ(judge_page(profile, empty).verdict, Verdict::unrecognised);

  // A renderer that ends (here: crashed on purpose) fails the page with that reason.
  const FetchedPage crashed = off_this_thread([&] { return patient("chrome://crash", {}); });
  EXPECT_EQ(crashed.transport, Transport::failed);
  EXPECT_EQ(crashed.error, "browser: the page's renderer ended");

  std::stop_source stop;
  std::chrono::steady_clock::time_point asked_to_stop;
  const FetchedPage stopped = off_this_thread([&] {
    std::jthread stopper([&] {
      std::this_thread::sleep_for(300ms);
      asked_to_stop = std::chrono::steady_clock::now();
      stop.request_stop();
    });
    return patient(gbk_to_utf8(query_url(profile, "stall", 1)), stop.get_token());
  });
  EXPECT_EQ(stopped.transport, Transport::stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - asked_to_stop, 1s);
}

std::string fixture(const std::string& name) {
  std::ifstream file(std::string(QUILLRANK_SOURCE_DIR) + "/tests/fixtures/engines-rendered/" + name,
                     std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Google's rendered result page, played at 127.0.0.1, read by the built-in profile as the
// browser holds it: organic results by their place, the answers of "people also ask" (which
// quote their sources with links of the same shape) taken out; its captcha page a block.
TEST(BrowserPages, GooglesRenderedPageRanksWithTheBuiltInProfile) {
  const std::string results = fixture("google-rendered-results.html");
  const std::string captcha = fixture("google-captcha.html");
  ASSERT_FALSE(results.empty());
  FixtureServer server([&](const HttpRequest& request) {
    if (request.target.find("q=flagged") != std::string::npos) {
      return HttpReply{
          .status = 302, .reason = "Found", .headers = {{"Location", "/sorry/index?continue=x"}}};
    }
    if (request.target.starts_with("/sorry/")) return HttpReply{.body = captcha};
    if (request.target.find("q=limited") != std::string::npos) {
      return HttpReply{.status = 429, .reason = "Too Many Requests", .body = captcha};
    }
    return HttpReply{.headers = {{"Content-Type", "text/html; charset=UTF-8"}}, .body = results};
  });
  BrowserPages browser;
  EngineProfile google = kCurrentGoogle;
  google.scheme = "http";
  google.host = "127.0.0.1:" + std::to_string(server.port());
  google.page_count = 1;
  const PageSource source = browser.sources()(google, {});
  const struct {
    const char* site;
    const char* text;
  } places[] = {
      {"www.synthesia.io", "第1名"}, {"aitoptools.com", "第5名"},
      {"opentools.ai", "第6名"},     {"www.futuretools.io", "第7名"},
      {"ai.google", "第8名"},        {"webcatalog.io", "排在300后"},  // quoted by an answer only
  };
  for (const auto& place : places) {
    const RowResult result = rank(google, source, place.site);
    EXPECT_EQ(gbk_to_utf8(result.text), place.text)
        << place.site << " " << gbk_to_utf8(result.detail);
  }
  for (const char* keyword : {"flagged", "limited"}) {
    const std::vector<QueryRow> rows = {{"shop.example", utf8_to_gbk_text(keyword), {}}};
    RowResult result;
    const WorkerHooks hooks{.row_done = [&result](int, const RowResult& done) { result = done; }};
    off_this_thread([&] { run_engine_worker(google, rows, source, {}, {}, hooks); });
    EXPECT_EQ(result.verdict, Verdict::blocked) << keyword << " " << gbk_to_utf8(result.detail);
  }
}

// The engine's cookie file is the browser's cookie store for it: the file's cookies go with
// its pages, and what a page sets is written back, for the engine's HTTP client to send.
TEST(BrowserPages, SharesTheEngineCookieFileWithItsHttpClient) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.target.starts_with("/echo")) return HttpReply{.body = request.header("Cookie")};
    return HttpReply{.body =
                         "<html><body><a class=\"res\" href=\"http://a.example/\">a</a>"
                         "<script>document.cookie = 'passed=yes; path=/';</script>"
                         "<p id=seen>" +
                         request.header("Cookie") + "</p></body></html>"};
  });
  const std::string file = ::testing::TempDir() + "quillrank-browser-cookies/fixture.txt";
  std::filesystem::remove_all(std::filesystem::path(file).parent_path());
  ASSERT_TRUE(write_cookie_file(file, {"127.0.0.1\tFALSE\t/\tFALSE\t0\tkept\t1"}));
  BrowserPages browser;
  const EngineProfile profile = engine_at(server);
  const PageSource source = browser.sources()(profile, file);
  const FetchedPage page =
      off_this_thread([&] { return source(gbk_to_utf8(query_url(profile, "seo", 1)), {}); });
  EXPECT_NE(page.body.bytes.find("<p id=\"seen\">kept=1</p>"), std::string::npos)
      << page.body.bytes;

  // The cookie store writes back as the browser hears of the change.
  for (int i = 0; i < 200 && read_cookie_file(file).size() < 2; ++i) {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  const PageSource http =
      PageFetcher::session_source({.cookie_file = file, .connect_to = server.route()});
  const std::string sent = http("http://127.0.0.1/echo", {}).body.bytes;
  EXPECT_NE(sent.find("kept=1"), std::string::npos) << sent;
  EXPECT_NE(sent.find("passed=yes"), std::string::npos) << sent;
}

}  // namespace
}  // namespace quillrank
