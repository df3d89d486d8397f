#include "engines/engine_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "text/text_codec.h"

namespace quillrank {
namespace {

// A page source that serves `pages` by page number (1-based, read from the position of the
// URL in the engine's paging) and records every URL.
class FakeEngine {
 public:
  explicit FakeEngine(const EngineProfile& profile) : profile_(profile) {}

  void serve(int page, std::string text, bool ok = true) { pages_[page] = {std::move(text), ok}; }
  void fail_every_page() { fail_all_ = true; }

  PageSource source() {
    return [this](std::string_view url, std::stop_token) {
      std::lock_guard lock(mutex_);
      urls_.emplace_back(url);
      for (const auto& [page, content] : pages_) {
        if (url == query_url(profile_, keyword_of(url), page)) {
          return FetchedPage{ByteBuffer{content.first}, content.second};
        }
      }
      return FetchedPage{ByteBuffer{}, !fail_all_};
    };
  }
  std::vector<std::string> urls() const {
    std::lock_guard lock(mutex_);
    return urls_;
  }

 private:
  std::string keyword_of(std::string_view url) const {
    const std::size_t begin = url.find(profile_.query_path) + profile_.query_path.size();
    return std::string(url.substr(begin, url.find(profile_.page_key, begin) - begin));
  }

  const EngineProfile& profile_;
  std::map<int, std::pair<std::string, bool>> pages_;
  bool fail_all_ = false;
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;
};

std::string link(const EngineProfile& profile, std::string_view address) {
  return std::string(profile.link_prefix) + "\"" + std::string(address);
}

// Ranks one row for `site` and returns its engine cell as UTF-8.
std::string rank_one(const EngineProfile& profile, FakeEngine& engine, std::string_view site,
                     std::string_view keyword = "seo") {
  ResultTable table;
  table.insert_row(-1, concat_text("http://", site));
  table.set_cell_text(0, 1, keyword);
  run_engine_worker(profile, table, engine.source(), {});
  return gbk_to_utf8(table.get_cell_text(0, profile.column));
}

struct RankCase {
  const char* what;
  const EngineProfile* profile;
  int page;
  std::string page_text;  // the link to http://shop.example/ must be in it
  std::string cell;
};

TEST(EngineWorker, ReadsTheRankByEachEnginesRule) {
  const std::string baidu = link(kBaidu, "http://shop.example/");
  const std::string google = link(kGoogle, "http://shop.example/");
  const std::string sogou = link(kSogou, "http://shop.example/");
  const std::string soso = link(kSoso, "http://shop.example/");
  const RankCase cases[] = {
      {"Baidu next id minus one", &kBaidu, 1, baidu + " x id=\"8\"><tr><td class=", "第7名"},
      {"Baidu field 1", &kBaidu, 1, baidu + " id=\"1\"><tr><td class=", "第0名"},
      {"Baidu no field, page 1", &kBaidu, 1, baidu + " text><tr><td class=", "第100名"},
      {"Baidu no field, page 2", &kBaidu, 2, baidu + " text><tr><td class=", "第200名"},
      {"Baidu no field, page 3", &kBaidu, 3, baidu + " text><tr><td class=", "第300名"},
      {"Baidu field 117 on page 2", &kBaidu, 2, baidu + " id=\"117\"><tr><td class=", "第116名"},
      {"Google verbatim", &kGoogle, 1, google + " (0,'','','','12',x')", "第12名"},
      {"Google verbatim on page 3", &kGoogle, 3, google + " (0,'','','','237',x')", "第237名"},
      {"Google empty field", &kGoogle, 1, google + " (0,'','','','',x')", "第名"},
      {"Google field not a number", &kGoogle, 1, google + " (0,'','','','ab',x')", "第ab名"},
      {"Sogou page 2", &kSogou, 2, sogou + " id=\"sogou_preview_5\" x');", "第106名"},
      {"Sogou page 1 field 0", &kSogou, 1, sogou + " id=\"sogou_preview_0\"');", "第1名"},
      {"Sogou page 2 field 99", &kSogou, 2, sogou + " id=\"sogou_preview_99\"');", "第200名"},
      {"Sogou page 3 field 4", &kSogou, 3, sogou + " id=\"sogou_preview_4\"');", "第205名"},
      {"Soso page 4", &kSoso, 4, soso + "\" id=\"res2\">", "第33名"},
      {"Soso page 7", &kSoso, 7, soso + "\" id=\"res3\">", "第64名"},
      {"Soso page 30 field 9", &kSoso, 30, soso + "\" id=\"res9\">", "第300名"},
      {"Soso page 1 no field", &kSoso, 1, soso + "\">", "第1名"},
  };
  for (const RankCase& c : cases) {
    FakeEngine engine(*c.profile);
    engine.serve(c.page, "<html>header " + c.page_text + " footer</html>");
    EXPECT_EQ(rank_one(*c.profile, engine, "shop.example"), c.cell) << c.what;
    EXPECT_EQ(engine.urls().size(), static_cast<std::size_t>(c.page)) << c.what;
  }
}

TEST(EngineWorker, PagesUntilTheLinkOrThePageCount) {
  for (const EngineProfile* profile : kEngines) {
    FakeEngine engine(*profile);
    EXPECT_EQ(rank_one(*profile, engine, "shop.example"), "排在300后") << profile->name;
    EXPECT_EQ(engine.urls().size(), static_cast<std::size_t>(profile->page_count));
    EXPECT_EQ(engine.urls().back(), query_url(*profile, "seo", profile->page_count));
  }
}

TEST(EngineWorker, MatchesTheSiteAsAPrefixIgnoringCaseOnly) {
  struct Case {
    std::string site, address;
    bool found;
  };
  const Case cases[] = {
      {"shop.example", "http://shop.examples.example/x", true},
      {"shop.example", "HTTP://SHOP.EXAMPLE/", true},
      {"SHOP.example", "http://shop.example/", true},
      {"shop.example", "https://shop.example/", false},
      {"shop.example", "http://m.shop.example/", false},
      {"", "http://any.example/", true},
  };
  for (const Case& c : cases) {
    FakeEngine engine(kSogou);
    engine.serve(1, link(kSogou, c.address) + " id=\"sogou_preview_3\"');");
    EXPECT_EQ(rank_one(kSogou, engine, c.site), c.found ? "第4名" : "排在300后") << c.address;
  }
}

// The rank comes from the link the search found, not from text earlier on the page.
TEST(EngineWorker, RanksASiteTypedInCapitalsAtItsOwnLink) {
  FakeEngine engine(kBaidu);
  engine.serve(1, "id=\"50\"><tr><td class= " + link(kBaidu, "http://other.example/") +
                      " id=\"2\"><tr><td class= " + link(kBaidu, "http://shop.example/") +
                      " id=\"9\"><tr><td class=");
  EXPECT_EQ(rank_one(kBaidu, engine, "SHOP.EXAMPLE"), "第8名");
}

TEST(EngineWorker, ReportsAQueryThatCouldNotBeFetched) {
  FakeEngine failing(kBaidu);
  failing.fail_every_page();
  EXPECT_EQ(rank_one(kBaidu, failing, "shop.example"), "查询失败");

  FakeEngine one_page_failed(kGoogle);
  one_page_failed.serve(2, "<html>error</html>", /*ok=*/false);
  EXPECT_EQ(rank_one(kGoogle, one_page_failed, "shop.example"), "查询失败");

  FakeEngine found_after_a_failure(kSogou);
  found_after_a_failure.serve(1, "", /*ok=*/false);
  found_after_a_failure.serve(2, link(kSogou, "http://shop.example/") + "id=\"sogou_preview_0\"');");
  EXPECT_EQ(rank_one(kSogou, found_after_a_failure, "shop.example"), "第101名");
}

TEST(EngineWorker, SearchesAPageOnlyUpToAZeroByte) {
  FakeEngine engine(kBaidu);
  engine.serve(1, std::string("x\0", 2) + link(kBaidu, "http://shop.example/"));
  EXPECT_EQ(rank_one(kBaidu, engine, "shop.example"), "排在300后");
}

TEST(EngineWorker, PutsTheEncodedKeywordIntoEveryPagesUrl) {
  FakeEngine engine(kBaidu);
  rank_one(kBaidu, engine, "shop.example", "a b&\xD6\xD0");
  ASSERT_EQ(engine.urls().size(), 3u);
  EXPECT_EQ(engine.urls()[1], "http://www.baidu.com/s?wd=a%20b%26%D6%D0&pn=100&rn=100");
}

TEST(EngineWorker, WritesOnlyItsOwnColumnOfEveryRowAndNothingForAnEmptyTable) {
  ResultTable table;
  FakeEngine engine(kSoso);
  run_engine_worker(kSoso, table, engine.source(), {});
  EXPECT_TRUE(engine.urls().empty());

  for (int row = 0; row < 3; ++row) {
    table.insert_row(-1, "http://shop.example");
    for (int column = 1; column < 6; ++column) table.set_cell_text(row, column, "keep");
  }
  engine.serve(1, link(kSoso, "http://shop.example/") + "\" id=\"res0\">");
  run_engine_worker(kSoso, table, engine.source(), {});
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(gbk_to_utf8(table.get_cell_text(row, 5)), "第1名");
    for (int column = 1; column < 5; ++column) EXPECT_EQ(table.get_cell_text(row, column), "keep");
  }
}

TEST(EngineWorker, StopsWithoutWritingOnceAskedTo) {
  ResultTable table;
  table.insert_row(-1, "http://shop.example");
  table.set_cell_text(0, 2, kQueryingText);
  std::atomic<int> fetches{0};
  std::stop_source stop;
  std::jthread worker([&] {
    run_engine_worker(kBaidu, table,
                      [&](std::string_view, std::stop_token token) {
                        ++fetches;
                        while (!token.stop_requested()) std::this_thread::yield();
                        return FetchedPage{};
                      },
                      stop.get_token());
  });
  while (fetches == 0) std::this_thread::yield();
  stop.request_stop();
  worker.join();
  EXPECT_EQ(fetches, 1);
  EXPECT_EQ(table.get_cell_text(0, 2), kQueryingText);
}

}  // namespace
}  // namespace quillrank
