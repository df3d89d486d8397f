// Whole runs over real HTTP: every connection of the fetches goes to a fixture server on
// 127.0.0.1 (the fetcher's route), while the requests name the engines' own hosts.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "app/list_host.h"
#include "app/run_control.h"
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

// Every engine ticked.
ListHost all_engines(std::string box) { return ListHost(std::move(box), {true, true, true, true}); }

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

std::array<EnginePacing, kEngineCount> no_retries() {
  std::array<EnginePacing, kEngineCount> pacing;
  pacing.fill(EnginePacing{.retries = 0});
  return pacing;
}

void run_to_the_end(RunControl& control) {
  std::atomic<bool> finished{false};
  control.set_run_finished([&](RunControl::RunEnd) { finished = true; });
  control.start_query();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!finished && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(finished);
}

TEST(RankingOverHttp, RanksEveryEngineFromItsLivePages) {
  FixtureServer server = engine_server({{&kBaidu, 1}, {&kGoogle, 3}, {&kSogou, 2}, {&kSoso, 7}});
  ListHost host = all_engines("shop.example|seo\r\nshop.example|absent");
  ResultTable table;
  RunControl control(host, table, PageFetcher::source(server.route()), PageFetcher::source());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  run_to_the_end(control);

  ASSERT_EQ(table.row_count(), 2);
  EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, 2)), "第4名");
  EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, 3)), "第204名");
  EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, 4)), "第104名");
  EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, 5)), "第64名");
  for (int column = 2; column < 6; ++column) {
    EXPECT_EQ(gbk_to_utf8(table.get_cell_text(1, column)), "排在300后");
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
  ListHost host = all_engines("shop.example|seo");
  ResultTable table;
  RunControl control(host, table,
                     PageFetcher::source("127.0.0.1:" + std::to_string(testing::refused_port())),
                     PageFetcher::source());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.set_pacing(no_retries());
  run_to_the_end(control);
  for (int column = 2; column < 6; ++column) {
    EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, column)), "查询失败");
  }
}

TEST(RankingOverHttp, AnErrorPageReadsQueryFailed) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.status = 503, .reason = "Busy", .body = "try later"};
  });
  ListHost host = all_engines("shop.example|seo");
  ResultTable table;
  RunControl control(host, table, PageFetcher::source(server.route()), PageFetcher::source());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.set_pacing(no_retries());
  run_to_the_end(control);
  EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, 2)), "查询失败");
}

// Workers of a run are stopped in the middle of their fetches, within moments.
TEST(RankingOverHttp, ARestartStopsFetchesThatStall) {
  FixtureServer server(
      [](const HttpRequest&) { return HttpReply{.body = "x", .stall_before_reply = 60s}; });
  ListHost host = all_engines("shop.example|seo");
  ResultTable table;
  RunControl control(host, table, PageFetcher::source(server.route()), PageFetcher::source());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.start_query();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (server.request_count() < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(server.request_count(), 4u);
  const auto before = std::chrono::steady_clock::now();
  control.release_worker_handles();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s) << "far below the 60 s stall";
  for (int engine = 0; engine < 4; ++engine) EXPECT_FALSE(control.worker_active(engine));
}

}  // namespace
}  // namespace quillrank
