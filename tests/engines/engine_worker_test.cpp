#include "engines/engine_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "engines/engines.h"
#include "support/engine_pages.h"
#include "support/fake_pages.h"
#include "support/worker_rows.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

std::string link(const EngineProfile& profile, std::string_view address) {
  return std::string(profile.link_prefix) + "\"" + std::string(address);
}

// A page source that serves pages by page number (1-based, read from the position of the URL
// in the engine's paging) and records every URL. A page it was not given is a result page that
// lists another site.
class FakeEngine {
 public:
  explicit FakeEngine(const EngineProfile& profile) : profile_(profile) {}

  void serve(int page, std::string text, long status = 200) {
    pages_[page] = testing::served(std::move(text), status);
  }
  void serve(int page, FetchedPage fetched) { pages_[page] = std::move(fetched); }
  void fail_every_page() { fail_all_ = true; }

  PageSource source() {
    return [this](std::string_view url, std::stop_token) {
      std::lock_guard lock(mutex_);
      urls_.emplace_back(url);
      for (const auto& [page, fetched] : pages_) {
        if (url == query_url(profile_, keyword_of(url), page)) return fetched;
      }
      return fail_all_ ? testing::unreachable()
                       : testing::served(link(profile_, "http://other.example/"));
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
  std::map<int, FetchedPage> pages_;
  bool fail_all_ = false;
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;
};

constexpr EnginePacing kNoRetries{.retries = 0};

// Ranks one row for `site` and returns its engine cell as UTF-8.
std::string rank_one(const EngineProfile& profile, FakeEngine& engine, std::string_view site,
                     std::string_view keyword = "seo") {
  testing::WorkerRows table;
  table.add(site, keyword);
  table.run(profile, engine.source(), kNoRetries, {});
  return gbk_to_utf8(table.text(0));
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
      {"Baidu field 1 (rank 0)", &kBaidu, 1, baidu + " id=\"1\"><tr><td class=", "页面无法识别"},
      {"Baidu no field, page 1", &kBaidu, 1, baidu + " text><tr><td class=", "第100名"},
      {"Baidu no field, page 2", &kBaidu, 2, baidu + " text><tr><td class=", "第200名"},
      {"Baidu no field, page 3", &kBaidu, 3, baidu + " text><tr><td class=", "第300名"},
      {"Baidu field 117 on page 2", &kBaidu, 2, baidu + " id=\"117\"><tr><td class=", "第116名"},
      {"Google verbatim", &kGoogle, 1, google + " (0,'','','','12',x')", "第12名"},
      {"Google verbatim on page 3", &kGoogle, 3, google + " (0,'','','','237',x')", "第237名"},
      {"Google empty field", &kGoogle, 1, google + " (0,'','','','',x')", "页面无法识别"},
      {"Google field not a number", &kGoogle, 1, google + " (0,'','','','ab',x')", "页面无法识别"},
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
  for (const Engine& classic : builtin_engines(ProfileSet::classic)) {
    const EngineProfile& profile = classic.profile;
    FakeEngine engine(profile);
    EXPECT_EQ(rank_one(profile, engine, "shop.example"), "排在300后") << profile.name;
    EXPECT_EQ(engine.urls().size(), static_cast<std::size_t>(profile.page_count));
    EXPECT_EQ(engine.urls().back(), query_url(profile, "seo", profile.page_count));
  }
}

using testing::card_profile;

std::string cards(std::initializer_list<std::string_view> addresses) {
  std::string page = "<html><div id=\"content_left\">";
  for (const std::string_view address : addresses) {
    page += "<div class=\"result c-container\" mu=\"" + std::string(address) + "\">x</div>";
  }
  return page + "</div></html>";
}

TEST(EngineWorker, CountsTheSitesLinkAmongThePagesResultLinks) {
  struct Case {
    const char* what;
    std::vector<std::string> schemes;
    int page;
    std::string page_text;
    std::string cell;
  };
  const Case cases[] = {
      {"third card, page 1, https only",
       {"http://", "https://"},
       1,
       cards({"https://a.example/", "http://b.example/", "https://shop.example/x"}),
       "第3名"},
      {"first card, page 3",
       {"http://", "https://"},
       3,
       cards({"http://shop.example/", "https://b.example/"}),
       "第21名"},
      {"the first occurrence wins, whatever its scheme",
       {"http://", "https://"},
       1,
       cards({"https://a.example/", "https://shop.example/", "http://c.example/",
              "http://shop.example/"}),
       "第2名"},
      {"the same, schemes listed the other way",
       {"https://", "http://"},
       1,
       cards({"http://shop.example/", "https://shop.example/"}),
       "第1名"},
      {"an https-only site is not found with http alone",
       {"http://"},
       1,
       cards({"https://shop.example/"}),
       "排在300后"},
      {"the prefix in capitals counts as a result link",
       {"https://"},
       2,
       "<div MU=\"https://a.example/\"></div>" + cards({"https://shop.example/"}),
       "第12名"},
  };
  for (const Case& c : cases) {
    EngineProfile profile = card_profile();
    profile.link_schemes = c.schemes;
    profile.page_count = 3;
    FakeEngine engine(profile);
    engine.serve(c.page, c.page_text);
    EXPECT_EQ(rank_one(profile, engine, "shop.example"), c.cell) << c.what;
  }
}

TEST(EngineWorker, SendsTheProfilesHeadersAndUserAgentWithEveryRequest) {
  EngineProfile profile = card_profile();
  profile.headers = {"Cookie: BAIDUID=1"};
  profile.user_agent = "Mozilla/5.0";
  std::vector<RequestOptions> seen;
  const PageSource source = [&seen](const PageRequest& request, std::stop_token) {
    seen.push_back(request.options ? *request.options : RequestOptions{});
    return testing::served(cards({"https://other.example/"}));
  };
  testing::WorkerRows table;
  table.add("shop.example", "seo");
  table.run(profile, source, kNoRetries, {});
  ASSERT_EQ(seen.size(), 3u);
  for (const RequestOptions& options : seen) {
    EXPECT_EQ(options.headers, profile.headers);
    EXPECT_EQ(options.user_agent, "Mozilla/5.0");
  }
}

TEST(EngineWorker, MatchesTheSiteAsAPrefixIgnoringCaseOnly) {
  struct Case {
    std::string site, address;
    bool found;
  };
  const Case cases[] = {
      {"shop.example", "http://shop.examples.example/x", false},
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

// A bare host is matched only where the link's host ends; a site with a path as a prefix.
TEST(EngineWorker, MatchesASiteOnlyUpToTheEndOfItsHost) {
  struct Case {
    std::string site, address;
    bool found;
  };
  const Case cases[] = {
      {"qq.com", "http://qq.com.cn/", false},
      {"qq.com", "http://qq.com.evil.example/", false},
      {"qq.com", "http://qq.comx/", false},
      {"qq.com", "http://qq.com-shop.example/", false},
      {"qq.com", "http://qq.com/", true},
      {"qq.com", "http://qq.com:8080/x", true},
      {"qq.com", "http://qq.com?a=1", true},
      {"qq.com", "http://qq.com#top", true},
      {"qq.com", "http://qq.com\" class=x", true},
      {"qq.com", "http://qq.com' x", true},
      {"qq.com", "http://qq.com", true},  // the page ends there
      {"www.example.com/blog", "http://www.example.com/blog/post-1", true},
      {"www.example.com/blog", "http://www.example.com/blogs", true},
      {"www.example.com/blog", "http://www.example.com/shop", false},
      {"qq.com:8080", "http://qq.com:8080/", true},
      {"qq.com:8080", "http://qq.com:80801/", false},
  };
  for (const Case& c : cases) {
    FakeEngine engine(kSogou);
    engine.serve(1, "<a " + link(kSogou, c.address));  // the page ends with the address
    const std::string cell = rank_one(kSogou, engine, c.site);
    EXPECT_EQ(cell != "排在300后", c.found) << c.site << " at " << c.address << ": " << cell;
  }
}

// A rank is a whole number from 1 to kMaxRank; any other field reads as a page that could not
// be read, with a short detail, never as a huge, negative or zero rank.
TEST(EngineWorker, ReadsARankOnlyAsAWholeNumberWithinBounds) {
  const std::string baidu = link(kBaidu, "http://shop.example/");
  const std::string google = link(kGoogle, "http://shop.example/");
  const std::string sogou = link(kSogou, "http://shop.example/");
  const std::string huge(5 << 20, '7');
  const RankCase cases[] = {
      {"21 digits", &kBaidu, 1,
       baidu + " id=\"123456789012345678901\"><tr><td class=", "页面无法识别"},
      {"negative", &kBaidu, 1, baidu + " id=\"-5\"><tr><td class=", "页面无法识别"},
      {"past the bound", &kBaidu, 1, baidu + " id=\"10002\"><tr><td class=", "页面无法识别"},
      {"at the bound", &kBaidu, 1, baidu + " id=\"10001\"><tr><td class=", "第10000名"},
      {"digits then text", &kBaidu, 1, baidu + " id=\"12abc\"><tr><td class=", "页面无法识别"},
      {"5 MB field", &kGoogle, 1, google + " (0,'','','','" + huge + "',x')", "页面无法识别"},
      {"verbatim 0", &kGoogle, 1, google + " (0,'','','','0',x')", "页面无法识别"},
      {"verbatim 10000", &kGoogle, 1, google + " (0,'','','','10000',x')", "第10000名"},
      {"index past the bound", &kSogou, 3, sogou + " id=\"sogou_preview_9999\"');", "页面无法识别"},
  };
  for (const RankCase& c : cases) {
    FakeEngine engine(*c.profile);
    engine.serve(c.page, "<html>header " + c.page_text + " footer</html>");
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.run(*c.profile, engine.source(), kNoRetries, {});
    EXPECT_EQ(gbk_to_utf8(table.text(0)), c.cell) << c.what;
    const std::string detail = gbk_to_utf8(table.detail(0));
    EXPECT_LT(detail.size(), 200u) << c.what;
    if (c.cell == "页面无法识别") {
      EXPECT_NE(detail.find("排名读不出"), std::string::npos) << c.what;
    }
  }
}

// The final cell is handed on typed: the rank it says and the address that ranks, the link's
// own text up to its quote (bounded, and ending at a control byte), which the detail names too.
TEST(EngineWorker, HandsOnTheRankAndTheAddressThatRanks) {
  const std::string long_path(5 << 20, 'a');
  struct Case {
    std::string address_on_page;
    int rank;
    std::string address;
  };
  const Case cases[] = {
      {"http://shop.example/p/1.html\" x", 4, "http://shop.example/p/1.html"},
      {"http://SHOP.example/\n\" x", 4, "http://SHOP.example/"},
      {"http://shop.example/" + long_path + "\"", 4,
       "http://shop.example/" + long_path.substr(0, kMaxAddress - 20)},
      {"http://other.example/\" x", 0, ""},
  };
  for (const Case& c : cases) {
    FakeEngine engine(kSogou);
    engine.serve(1, link(kSogou, c.address_on_page) + " id=\"sogou_preview_3\"');");
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    int rank = -1;
    std::string address, detail;
    WorkerHooks hooks{.row_done = [&](int, const RowResult& result) {
      rank = result.rank;
      address = result.address;
      detail = gbk_to_utf8(result.detail);
    }};
    table.run(kSogou, engine.source(), kNoRetries, {}, hooks);
    EXPECT_EQ(rank, c.rank) << c.address;
    EXPECT_EQ(address, c.address);
    EXPECT_EQ(detail, c.rank > 0 ? "第1页找到：" + c.address : "前3页没有该网站的链接");
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

// Each page's verdict decides the cell of a row whose site was not found, and paging ends at
// the first page that is no result page.
TEST(EngineWorker, SaysWhatTheEngineAnsweredWhenTheSiteIsNotFound) {
  const std::string gbk_captcha = "<title>" + utf8_to_gbk_text("百度安全验证") + "</title>";
  struct Case {
    const char* what;
    int page;
    FetchedPage fetched;
    std::string cell;
    std::size_t fetches;
  };
  const Case cases[] = {
      {"transport failure", 1, testing::unreachable(), "查询失败", 1},
      {"server error on page 2", 2, testing::served("oops", 500), "查询失败", 2},
      {"403", 1, testing::served("", 403), "被拦截", 1},
      {"429 on page 3", 3, testing::served("", 429), "被拦截", 3},
      {"verification page with status 200", 1, testing::served(gbk_captcha), "被拦截", 1},
      {"engine's nothing-found page", 1,
       testing::served(utf8_to_gbk_text("抱歉没有找到与“seo”相关的网页")), "排在300后", 1},
      {"JavaScript shell", 1, testing::served("<script>location.reload()</script>"), "页面无法识别",
       1},
      {"results end on page 2", 2, testing::served("<html></html>"), "排在300后", 2},
      {"204", 1, testing::served("", 204), "查询失败", 1},
  };
  for (const Case& c : cases) {
    FakeEngine engine(kBaidu);
    engine.serve(c.page, c.fetched);
    EXPECT_EQ(rank_one(kBaidu, engine, "shop.example"), c.cell) << c.what;
    EXPECT_EQ(engine.urls().size(), c.fetches) << c.what;
  }
  FakeEngine failing(kGoogle);
  failing.fail_every_page();
  EXPECT_EQ(rank_one(kGoogle, failing, "shop.example"), "查询失败");
}

// After a block the engine asks for nothing more: the rows left read "blocked", with a detail.
TEST(EngineWorker, ABlockStopsTheEngineForTheRestOfTheRun) {
  testing::WorkerRows table;
  for (int row = 0; row < 5; ++row) table.add("shop.example", "k" + std::to_string(row));
  std::vector<std::string> urls;
  const PageSource fetch = [&](std::string_view url, std::stop_token) {
    urls.emplace_back(url);
    if (url == query_url(kBaidu, "k2", 2)) return testing::served("", 403);
    return testing::served(link(kBaidu, "http://other.example/"));
  };
  // Every row's result is reported, in row order, with the verdict behind it.
  std::vector<std::tuple<int, std::string, std::string, Verdict>> written;
  const WorkerHooks hooks{.row_done = [&](int row, const RowResult& result) {
    written.emplace_back(row, result.text, result.detail, result.verdict);
  }};
  table.run(kBaidu, fetch, kNoRetries, {}, hooks);
  ASSERT_EQ(written.size(), 5u);
  const Verdict verdicts[] = {Verdict::result, Verdict::result, Verdict::blocked, Verdict::blocked,
                              Verdict::blocked};
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(written[row],
              std::make_tuple(row, table.text(row), table.detail(row), verdicts[row]));
  }
  EXPECT_EQ(urls.size(), 3u + 3u + 2u);
  EXPECT_EQ(gbk_to_utf8(table.text(1)), "排在300后");
  for (int row = 2; row < 5; ++row) EXPECT_EQ(gbk_to_utf8(table.text(row)), "被拦截");
  EXPECT_EQ(gbk_to_utf8(table.detail(2)), "第2页：HTTP 403：引擎拒绝了请求");
  EXPECT_EQ(gbk_to_utf8(table.detail(4)), "未查询：该引擎已在第3行第2页拦截本次运行");
  EXPECT_EQ(gbk_to_utf8(table.detail(1)), "前3页没有该网站的链接");
}

// With a block pause, a blocked page is asked for once more after the pause.
TEST(EngineWorker, ABlockPauseAsksOnceMore) {
  for (const bool blocked_again : {false, true}) {
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.add("shop.example", "seo");
    int fetches = 0;
    const PageSource fetch = [&](std::string_view, std::stop_token) {
      ++fetches;
      if (fetches == 1 || (blocked_again && fetches == 2)) return testing::served("", 429);
      return testing::served(link(kBaidu, "http://shop.example/") + " id=\"3\"><tr><td class=");
    };
    table.run(kBaidu, fetch, {.retries = 0, .block_pause = 0.01}, {});
    EXPECT_EQ(gbk_to_utf8(table.text(0)), blocked_again ? "被拦截" : "第2名");
    EXPECT_EQ(gbk_to_utf8(table.text(1)), blocked_again ? "被拦截" : "第2名");
    EXPECT_EQ(fetches, blocked_again ? 2 : 3);
  }
}

// A fetch worth retrying is tried again after a backoff; a 404 is not.
TEST(EngineWorker, RetriesTransportFailuresAndServerErrorsOnly) {
  for (const long status : {0L, 503L, 404L}) {
    int fetches = 0;
    const PageSource fetch = [&](std::string_view, std::stop_token) {
      if (++fetches > 1) {
        return testing::served(link(kSogou, "http://shop.example/") + " id=\"sogou_preview_0\"');");
      }
      return status == 0 ? testing::unreachable() : testing::served("", status);
    };
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.run(kSogou, fetch, {.retries = 1}, {});
    EXPECT_EQ(gbk_to_utf8(table.text(0)), status == 404 ? "查询失败" : "第1名") << status;
  }
}

// Past the first page, a page whose result links stand behind a zero byte ends the results.
TEST(EngineWorker, SearchesAPageOnlyUpToAZeroByte) {
  FakeEngine engine(kBaidu);
  engine.serve(2, std::string("x\0", 2) + link(kBaidu, "http://shop.example/"));
  EXPECT_EQ(rank_one(kBaidu, engine, "shop.example"), "排在300后");
  EXPECT_EQ(engine.urls().size(), 2u);
}

// The verdict reads the bytes the rank search reads: result links behind a zero byte make no
// result page, so the first page is one that could not be read, not a page searched in vain.
TEST(EngineWorker, JudgesAndRanksThePageTextUpToAZeroByteAlike) {
  FakeEngine engine(kBaidu);
  engine.serve(1, std::string("<html>\0", 7) + link(kBaidu, "http://other.example/") + " " +
                      link(kBaidu, "http://shop.example/"));
  EXPECT_EQ(rank_one(kBaidu, engine, "shop.example"), "页面无法识别");
  EXPECT_EQ(engine.urls().size(), 1u);
}

TEST(EngineWorker, PutsTheEncodedKeywordIntoEveryPagesUrl) {
  FakeEngine engine(kBaidu);
  rank_one(kBaidu, engine, "shop.example", "a b&\xD6\xD0");
  ASSERT_EQ(engine.urls().size(), 3u);
  EXPECT_EQ(engine.urls()[1], "http://www.baidu.com/s?wd=a%20b%26%D6%D0&pn=100&rn=100");
}

TEST(EngineWorker, ReportsEveryRowWithAKeywordAndAsksNothingForNoRows) {
  testing::WorkerRows table;
  FakeEngine engine(kSoso);
  table.run(kSoso, engine.source(), kNoRetries, {});
  EXPECT_TRUE(engine.urls().empty());

  table.add("shop.example", "seo");
  table.add("entry.example", "");  // a site entry's row: decided before the worker runs
  table.add("shop.example", "seo");
  engine.serve(1, link(kSoso, "http://shop.example/") + "\" id=\"res0\">");
  table.run(kSoso, engine.source(), kNoRetries, {});
  EXPECT_EQ(gbk_to_utf8(table.text(0)), "第1名");
  EXPECT_FALSE(table.result(1));
  EXPECT_EQ(gbk_to_utf8(table.text(2)), "第1名");
  EXPECT_EQ(engine.urls().size(), 2u);
}

TEST(EngineWorker, StopsWithoutWritingOnceAskedTo) {
  testing::WorkerRows table;
  table.add("shop.example", "seo");
  std::atomic<int> fetches{0};
  std::stop_source stop;
  std::jthread worker([&] {
    table.run(
        kBaidu,
        [&](std::string_view, std::stop_token token) {
          ++fetches;
          while (!token.stop_requested()) std::this_thread::yield();
          return FetchedPage{};
        },
        kNoRetries, stop.get_token());
  });
  while (fetches == 0) std::this_thread::yield();
  stop.request_stop();
  worker.join();
  EXPECT_EQ(fetches, 1);
  EXPECT_FALSE(table.result(0));
}

}  // namespace
}  // namespace quillrank

namespace quillrank {
namespace {

// Baidu's shape today: the main column's cards, numbered by the engine, after a right-hand
// column whose cards look alike; paged by what the pages held.
EngineProfile numbered_cards() {
  EngineProfile profile = testing::card_profile();
  profile.results_from = "id=\"content_left\"";
  profile.results_to = "id=\"page\"";
  profile.rank_left = " id=\"";
  profile.rank_right = "\"";
  profile.rank_rule = RankRule::card_number;
  profile.page_value = PageValue::counted;
  profile.page_size = 50;
  profile.page_count = 2;
  return profile;
}

std::string numbered(int first, int last, int site_at = 0) {
  std::string cards;
  for (int id = first; id <= last; ++id) {
    cards +=
        "<div class=\"c-container\" id=\"" + std::to_string(id) + "\" mu=\"" +
        (id == site_at ? "https://shop.example/" : "https://o" + std::to_string(id) + ".example/") +
        "\"></div>";
  }
  return cards;
}

std::string main_column(const std::string& cards) {
  return "<div id=\"content_left\">" + cards + "</div><div id=\"page\">";
}

TEST(EngineWorker, ReadsTheNumberOfTheCardInTheResultsPartAndPagesOnByWhatPagesHeld) {
  struct Case {
    const char* what;
    std::function<std::string(int offset)> page;  // by the page value asked ("pn")
    std::string cell;
    std::vector<int> offsets;  // asked, in order
  };
  const std::string right = "<div id=\"content_right\">" + numbered(1, 2) + "</div>";
  const Case cases[] = {
      {"the card's number, not its place among the page's cards",
       [&](int) { return right + main_column(numbered(1, 1) + numbered(2, 2, 2)); },
       "第2名",
       {0}},
      {"a page that held fewer than asked: the next starts where it ended",
       [](int offset) { return main_column(numbered(offset + 1, offset + 10, 12)); },
       "第12名",
       {0, 10}},
      {"a card without a number counts on from the earlier pages",
       [](int offset) {
         return main_column(offset == 0 ? numbered(1, 10)
                                        : "<div mu=\"https://a.example/\"></div>"
                                          "<div mu=\"https://shop.example/\"></div>");
       },
       "第12名",
       {0, 10}},
      {"an ad's number (3001) is no place on the page",
       [](int) {
         return main_column("<div id=\"3001\" mu=\"https://ad.example/\"></div>" +
                            numbered(1, 3, 3));
       },
       "第3名",
       {0}},
      {"only in the right-hand column: no result of the page's own",
       [&](int) { return "<div id=\"content_right\">" + numbered(1, 1, 1) + "</div>"; },
       "页面无法识别",
       {0}},
      {"after the results' end, and pages that add nothing end the row",
       [](int) { return main_column(numbered(1, 3)) + numbered(4, 4, 4); },
       "排在300后",
       {0, 3}},
      {"read until page_count * page_size results were",
       [](int offset) { return main_column(numbered(offset + 1, offset + 50)); },
       "排在300后",
       {0, 50}},
  };
  for (const Case& c : cases) {
    const EngineProfile profile = numbered_cards();
    std::vector<int> offsets;
    const PageSource source = [&](std::string_view url, std::stop_token) {
      offsets.push_back(std::stoi(std::string(url.substr(url.find("&pn=") + 4))));
      return testing::served(c.page(offsets.back()));
    };
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.run(profile, source, kNoRetries, {});
    EXPECT_EQ(gbk_to_utf8(table.text(0)), c.cell) << c.what;
    EXPECT_EQ(offsets, c.offsets) << c.what;
  }
}

TEST(EngineWorker, CountsResultsOverEveryPageReadForTheRow) {
  EngineProfile profile = testing::card_profile();
  profile.rank_rule = RankRule::result_count;
  profile.page_count = 3;
  FakeEngine engine(profile);
  engine.serve(1, cards({"https://a.example/", "https://b.example/", "https://c.example/"}));
  engine.serve(2, cards({"https://d.example/", "https://shop.example/"}));
  EXPECT_EQ(rank_one(profile, engine, "shop.example"), "第5名");
}

// A session comes to page 1 from the engine's home page and to each next page from the one
// before, a retry after a block included; without a session no Referer is sent.
TEST(EngineWorker, SendsEachPageWithThePageBeforeAsItsReferer) {
  for (const bool session : {true, false}) {
    EngineProfile profile = testing::card_profile();
    profile.page_count = 3;
    profile.session = session;
    profile.home_page = "https://www.baidu.com/";
    std::vector<std::pair<std::string, std::string>> asked;  // url, referer
    const PageSource source = [&](const PageRequest& request, std::stop_token) {
      asked.emplace_back(request.url, request.options ? request.options->referer : "?");
      if (asked.size() == 2) return testing::served("百度安全验证");
      return testing::served(cards({"https://other.example/"}));
    };
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.run(profile, source, {.retries = 0, .block_pause = 0.01}, {});
    const std::string page1 = query_url(profile, "seo", 1), page2 = query_url(profile, "seo", 2);
    const std::vector<std::pair<std::string, std::string>> expected =
        session ? std::vector<std::pair<std::string, std::string>>{{page1, profile.home_page},
                                                                   {page2, page1},
                                                                   {page2, page1},
                                                                   {query_url(profile, "seo", 3),
                                                                    page2}}
                : std::vector<std::pair<std::string, std::string>>{
                      {page1, ""}, {page2, ""}, {page2, ""}, {query_url(profile, "seo", 3), ""}};
    EXPECT_EQ(asked, expected) << session;
  }
}

}  // namespace
}  // namespace quillrank

namespace quillrank {
namespace {

// A pool member that answers as it is told, and counts what it was asked.
struct FakeMember {
  enum class Kind { ranks, blocks, refuses } kind;
  std::atomic<int> asked{0};
  std::atomic<int> blocks_left{1000000};  // for `blocks`: how many answers block before it ranks

  PageSource source() {
    return [this](std::string_view, std::stop_token) {
      ++asked;
      if (kind == Kind::refuses) return testing::unreachable();
      if (kind == Kind::blocks && blocks_left-- > 0) return testing::served("", 429);
      return testing::served(link(kSogou, "http://shop.example/") + " id=\"sogou_preview_1\"');");
    };
  }
};

struct PoolRun {
  std::vector<std::optional<RowResult>> results;
  std::mutex mutex;
  PoolStatus status;
  int reports = 0;
};

std::vector<PoolMember> members_of(std::vector<std::pair<std::string, FakeMember*>> fakes) {
  std::vector<PoolMember> members;
  for (auto& [name, fake] : fakes) {
    members.push_back({name, [fake = fake] { return fake->source(); }});
  }
  return members;
}

void run_pool(PoolRun& run, int rows, const std::vector<PoolMember>& members,
              const EnginePacing& pacing, int failures = 3) {
  std::vector<QueryRow> asked(static_cast<std::size_t>(rows),
                              QueryRow{GbkText("shop.example"), GbkText("seo"), {}});
  run.results.assign(asked.size(), std::nullopt);
  WorkerHooks hooks{.row_done =
                        [&run](int row, const RowResult& result) {
                          std::lock_guard lock(run.mutex);
                          ++run.reports;
                          run.results[static_cast<std::size_t>(row)] = result;
                        },
                    .status = &run.status};
  run_engine_pool(kSogou, asked, members, pacing, failures, {}, hooks);
}

// Two members that rank, one that the engine blocks and one whose way out refuses: every row is
// ranked once, through the two; the blocked one rests, asks again and leaves when blocked again;
// the refusing one leaves after its failures; each detail names the member that asked.
TEST(EnginePool, RanksEveryRowOnceThroughTheMembersThatCanAsk) {
  FakeMember first{FakeMember::Kind::ranks}, second{FakeMember::Kind::ranks};
  FakeMember blocked{FakeMember::Kind::blocks}, refused{FakeMember::Kind::refuses};
  PoolRun run;
  run_pool(run, 40,
           members_of({{"http://a:1", &first},
                       {"socks5://b:2", &second},
                       {"http://blocked:3", &blocked},
                       {"http://refused:4", &refused}}),
           {.delay_min = 0.01, .delay_max = 0.01, .retries = 0, .block_pause = 0.01});
  EXPECT_EQ(run.reports, 40);
  int through_first = 0;
  for (const auto& result : run.results) {
    ASSERT_TRUE(result);
    EXPECT_EQ(gbk_to_utf8(result->text), "第2名");
    const std::string detail = gbk_to_utf8(result->detail);
    const bool named =
        detail.ends_with("（经 http://a:1）") || detail.ends_with("（经 socks5://b:2）");
    EXPECT_TRUE(named) << detail;
    through_first += detail.ends_with("（经 http://a:1）");
  }
  EXPECT_GT(through_first, 0);
  EXPECT_LT(through_first, 40);
  EXPECT_EQ(first.asked + second.asked, 40);
  EXPECT_EQ(blocked.asked, 2) << "blocked, rested, blocked again: out";
  EXPECT_EQ(refused.asked, 3) << "out after three failed rows in a row";
  EXPECT_EQ(run.status.working, 0);
  EXPECT_EQ(run.status.resting, 0);
  EXPECT_EQ(run.status.gone, 4);
}

// A member that the engine stops blocking after its rest comes back and ranks rows.
TEST(EnginePool, ARestedMemberAsksAgainAfterItsPause) {
  FakeMember slow{FakeMember::Kind::ranks}, rested{FakeMember::Kind::blocks};
  rested.blocks_left = 1;
  PoolRun run;
  run_pool(run, 20, members_of({{"http://slow:1", &slow}, {"http://rested:2", &rested}}),
           {.delay_min = 0.01, .delay_max = 0.01, .retries = 0, .block_pause = 0.02});
  EXPECT_EQ(run.reports, 20);
  EXPECT_GT(rested.asked, 2) << "it came back after its pause";
  for (const auto& result : run.results) EXPECT_EQ(gbk_to_utf8(result->text), "第2名");
}

// When every member is out, blocked, the rows nobody asked read blocked with where it happened;
// a failing way out leaves no row unanswered either.
TEST(EnginePool, WhenTheLastMemberLeavesTheRowsLeftSayWhy) {
  FakeMember one{FakeMember::Kind::blocks}, two{FakeMember::Kind::blocks};
  PoolRun blocked;
  run_pool(blocked, 10, members_of({{"http://one:1", &one}, {"http://two:2", &two}}),
           {.retries = 0});
  EXPECT_EQ(blocked.reports, 10);
  int never_asked = 0;
  for (const auto& result : blocked.results) {
    ASSERT_TRUE(result);
    EXPECT_EQ(gbk_to_utf8(result->text), "被拦截");
    never_asked += gbk_to_utf8(result->detail).starts_with("未查询：该引擎已在第");
  }
  EXPECT_EQ(never_asked, 9);
  EXPECT_EQ(one.asked + two.asked, 2) << "no pause: each member leaves at its first block";

  FakeMember down{FakeMember::Kind::refuses}, up{FakeMember::Kind::ranks};
  PoolRun failing;
  run_pool(failing, 10, members_of({{"http://down:1", &down}, {"http://up:2", &up}}),
           {.retries = 0}, 2);
  EXPECT_EQ(failing.reports, 10);
  for (const auto& result : failing.results) EXPECT_EQ(gbk_to_utf8(result->text), "第2名");
  // Out after two failed rows in a row; fewer when the member that works took every row first.
  EXPECT_LE(down.asked, 2);
}

}  // namespace
}  // namespace quillrank

namespace quillrank {
namespace {

const char kRanksSecond[] = " id=\"3\"><tr><td class=";

// A person at hand: a blocked page waits for its verification, each answer as the test says,
// and the page is asked for again after each one passed; the block counts for nothing then (no
// block pause, the rows after it ranked). A verification not passed is a block as without one.
TEST(EngineWorker, ABlockedPageWaitsForItsVerification) {
  struct Case {
    const char* what;
    std::vector<bool> answers;  // what each verification comes to, in order
    int blocks;                 // how many answers block before the engine ranks
    double block_pause;         // a passed verification's block waits for none of it
    const char* first;          // the rows' cells
    const char* second;
    int fetches;
  };
  const Case cases[] = {
      {"passed: the page again, then on", {true}, 1, 3600, "第2名", "第2名", 3},
      {"passed, still blocked: asked again", {true, true}, 2, 3600, "第2名", "第2名", 4},
      {"not passed: blocked", {false}, 1000, 0, "被拦截", "被拦截", 1},
      {"passed, then not", {true, false}, 1000, 0, "被拦截", "被拦截", 2},
      {"not passed: the block pause, once more", {false}, 1, 0.01, "第2名", "第2名", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WorkerRows table;
    table.add("shop.example", "seo");
    table.add("shop.example", "web");
    int fetches = 0;
    const PageSource fetch = [&](std::string_view, std::stop_token) {
      if (++fetches <= c.blocks) return testing::served("", 403);
      return testing::served(link(kBaidu, "http://shop.example/") + kRanksSecond);
    };
    std::vector<std::pair<std::string, std::string>> asked;  // url, member
    const WorkerHooks hooks{.verify = [&](const Verification& verification, std::stop_token) {
      asked.emplace_back(verification.url, verification.member);
      return c.answers[asked.size() - 1];
    }};
    table.run(kBaidu, fetch, {.retries = 0, .block_pause = c.block_pause}, {}, hooks);
    EXPECT_EQ(gbk_to_utf8(table.text(0)), c.first);
    EXPECT_EQ(gbk_to_utf8(table.text(1)), c.second);
    EXPECT_EQ(fetches, c.fetches);
    ASSERT_EQ(asked.size(), c.answers.size());
    for (const auto& [url, member] : asked) {
      EXPECT_EQ(url, query_url(kBaidu, "seo", 1));
      EXPECT_EQ(member, "");
    }
  }
}

// Stopped while it waits, the worker reports nothing more.
TEST(EngineWorker, AStopEndsTheWaitForAVerification) {
  testing::WorkerRows table;
  table.add("shop.example", "seo");
  std::stop_source stop;
  std::atomic<bool> waiting{false};
  const WorkerHooks hooks{.verify = [&](const Verification&, std::stop_token token) {
    waiting = true;
    while (!token.stop_requested()) std::this_thread::yield();
    return false;
  }};
  std::jthread worker([&] {
    table.run(
        kBaidu, [](std::string_view, std::stop_token) { return testing::served("", 429); },
        kNoRetries, stop.get_token(), hooks);
  });
  while (!waiting) std::this_thread::yield();
  stop.request_stop();
  worker.join();
  EXPECT_FALSE(table.result(0));
}

// In a pool, the member the engine blocked names itself; passed, it goes on with its row.
TEST(EnginePool, TheBlockedMemberWaitsForItsVerificationAndGoesOn) {
  FakeMember ranks{FakeMember::Kind::ranks}, blocked{FakeMember::Kind::blocks};
  blocked.blocks_left = 1;
  std::vector<QueryRow> rows(6, QueryRow{GbkText("shop.example"), GbkText("seo"), {}});
  std::mutex mutex;
  std::vector<std::string> members;
  int reports = 0;
  WorkerHooks hooks{.row_done =
                        [&](int, const RowResult& result) {
                          std::lock_guard lock(mutex);
                          ++reports;
                          EXPECT_EQ(result.verdict, Verdict::result);
                        },
                    .verify =
                        [&](const Verification& verification, std::stop_token) {
                          std::lock_guard lock(mutex);
                          members.emplace_back(verification.member);
                          return true;
                        }};
  run_engine_pool(
      kSogou, rows, members_of({{"http://a:1", &ranks}, {"http://blocked:2", &blocked}}),
      {.delay_min = 0.01, .delay_max = 0.01, .retries = 0, .block_pause = 3600}, 3, {}, hooks);
  EXPECT_EQ(reports, 6);
  EXPECT_EQ(members, std::vector<std::string>{"http://blocked:2"});
  EXPECT_GE(blocked.asked, 2) << "asked its row again after the verification";
}

}  // namespace
}  // namespace quillrank
