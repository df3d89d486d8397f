// Whole runs over real HTTP: every connection of the fetches goes to a fixture server on
// 127.0.0.1 (the fetcher's route), while the requests name the engines' own hosts.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "app/run_session.h"
#include "engines/engines.h"
#include "net/page_fetcher.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const EngineTicks kAllFour{true, true, true, true};

// Serves every engine's pages: shop.example is on page `page_of[engine]` at index 3, and on
// no page at all for the keyword "absent".
FixtureServer engine_server(std::map<const EngineProfile*, int> page_of) {
  return FixtureServer([page_of](const HttpRequest& request) {
    for (const EngineProfile* engine : {&kBaidu, &kGoogle, &kSogou, &kSoso}) {
      for (int page = 1; page <= engine->page_count; ++page) {
        for (const char* keyword : {"seo", "absent"}) {
          if (request.url() != query_url(*engine, keyword, page)) continue;
          const bool here = keyword == std::string("seo") && page_of.at(engine) == page;
          return HttpReply{.body = testing::engine_result_page(*engine, "http://shop.example/",
                                                               here ? 3 : -1, page)};
        }
      }
    }
    return HttpReply{.status = 404, .reason = "Not Found", .body = "no such page"};
  });
}

// The classic engines, each asking once, or as often as retries allow.
Engines classic_engines(bool retries = true) {
  Engines engines = builtin_engines(ProfileSet::classic);
  if (!retries) {
    for (Engine& engine : engines) engine.pacing.retries = 0;
  }
  return engines;
}

// Ranks `list` on every classic engine over `pages` and waits for the run's end.
void run_to_the_end(RunResults& results, PageSource pages, std::string_view list,
                    bool retries = true) {
  RunSession session(results, std::move(pages), PageFetcher::source());
  session.set_engines(classic_engines(retries));
  std::atomic<bool> finished{false};
  session.set_run_finished([&](RunSession::RunEnd) { finished = true; });
  session.start(split_keyword_list(list), kAllFour);
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!finished && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(finished);
}

TEST(RankingOverHttp, RanksEveryEngineFromItsLivePages) {
  FixtureServer server = engine_server({{&kBaidu, 1}, {&kGoogle, 3}, {&kSogou, 2}, {&kSoso, 7}});
  RunResults table;
  run_to_the_end(table, PageFetcher::source(server.route()),
                 "shop.example|seo\r\nshop.example|absent");

  ASSERT_EQ(table.row_count(), 2);
  EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, 0))), "第4名");
  EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, 1))), "第204名");
  EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, 2))), "第104名");
  EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, 3))), "第64名");
  for (std::size_t engine = 0; engine < 4; ++engine) {
    EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(1, engine))), "排在300后");
  }

  // Fetch counts: found on pages 1, 3, 2 and 7, then every page of the absent keyword.
  std::map<std::string, int> per_host;
  for (const HttpRequest& request : server.requests()) {
    ++per_host[request.header("Host")];
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(request.header_count("Accept"), 1u);
  }
  EXPECT_EQ(per_host["www.baidu.com"], 1 + 3);
  EXPECT_EQ(per_host["www.google.com.hk"], 3 + 3);
  EXPECT_EQ(per_host["www.sogou.com"], 2 + 3);
  EXPECT_EQ(per_host["www.soso.com"], 7 + 30);
}

TEST(RankingOverHttp, AnUnreachableEngineReadsQueryFailed) {
  RunResults table;
  run_to_the_end(table, PageFetcher::source("127.0.0.1:" + std::to_string(testing::refused_port())),
                 "shop.example|seo", false);
  for (std::size_t engine = 0; engine < 4; ++engine) {
    EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, engine))), "查询失败");
  }
}

TEST(RankingOverHttp, AnErrorPageReadsQueryFailed) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.status = 503, .reason = "Busy", .body = "try later"};
  });
  RunResults table;
  run_to_the_end(table, PageFetcher::source(server.route()), "shop.example|seo", false);
  EXPECT_EQ(gbk_to_utf8(cell_text(table.cell(0, 0))), "查询失败");
}

// Workers of a run are stopped in the middle of their fetches, within moments.
TEST(RankingOverHttp, ARestartStopsFetchesThatStall) {
  FixtureServer server(
      [](const HttpRequest&) { return HttpReply{.body = "x", .stall_before_reply = 60s}; });
  RunResults table;
  RunSession session(table, PageFetcher::source(server.route()), PageFetcher::source());
  session.set_engines(classic_engines());
  session.start(split_keyword_list("shop.example|seo"), kAllFour);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (server.request_count() < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(server.request_count(), 4u);
  const auto before = std::chrono::steady_clock::now();
  session.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s) << "far below the 60 s stall";
  EXPECT_FALSE(session.running());
}

}  // namespace
}  // namespace quillrank
