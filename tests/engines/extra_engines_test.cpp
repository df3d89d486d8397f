// The profiles of Baidu's phone pages, 360 search and Bing China on pages in the shape of their
// result, verification and "nothing found" pages (tests/fixtures/engines-extra): query URLs,
// ranks as a user counts them, what is left out, refusals and empty answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "engines/engine_worker.h"
#include "engines/extra_profiles.h"
#include "support/fake_pages.h"
#include "support/worker_rows.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

const std::string kSource = QUILLRANK_SOURCE_DIR;

std::string fixture(const std::string& name) {
  std::ifstream file(kSource + "/tests/fixtures/engines-extra/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_TRUE(file) << name;
  return text.str();
}

const EngineProfile& extra(const std::string& key) {
  static const auto profiles = extra_current_profiles();
  for (const auto& [name, profile] : profiles) {
    if (name == key) return profile;
  }
  ADD_FAILURE() << "no profile " << key;
  return profiles.front().second;
}

// Each engine's fixture pages, by the prefix of their file names, and its query URLs for 中文.
struct ExtraEngine {
  std::string key;
  std::string files;
  std::string page1_url;
  std::string page2_url;
  std::string block_address;  // where the engine redirects a client it refuses
};

const ExtraEngine kEnginesUnderTest[] = {
    {"baidu_mobile", "baidu-mobile", "https://m.baidu.com/s?word=%E4%B8%AD%E6%96%87&pn=0",
     "https://m.baidu.com/s?word=%E4%B8%AD%E6%96%87&pn=10",
     "https://wappass.baidu.com/static/captcha/tuxing.html?ak=1&backurl=x"},
    {"so360", "so360", "https://www.so.com/s?ie=utf-8&q=%E4%B8%AD%E6%96%87&pn=1",
     "https://www.so.com/s?ie=utf-8&q=%E4%B8%AD%E6%96%87&pn=2",
     "https://qcaptcha.so.com/?ret=https%3A%2F%2Fwww.so.com%2Fs"},
    {"bing_cn", "bing-cn", "https://cn.bing.com/search?ensearch=0&q=%E4%B8%AD%E6%96%87&first=01",
     "https://cn.bing.com/search?ensearch=0&q=%E4%B8%AD%E6%96%87&first=11",
     "https://cn.bing.com/turing/captcha/challenge?q=x"},
};

TEST(ExtraEngines, AskForPagesOneAndTwoAsTheEnginesPageThem) {
  for (const ExtraEngine& engine : kEnginesUnderTest) {
    const EngineProfile& profile = extra(engine.key);
    EXPECT_EQ(query_url(profile, utf8_to_gbk_text("中文"), 1), engine.page1_url) << engine.key;
    EXPECT_EQ(query_url(profile, utf8_to_gbk_text("中文"), 2), engine.page2_url) << engine.key;
  }
  // Bing counts its results from 1: page 30 starts at the 291st.
  EXPECT_EQ(query_url(extra("bing_cn"), "a", 30),
            "https://cn.bing.com/search?ensearch=0&q=a&first=291");
}

// The rank a worker writes for `site`, the engine serving page 1 and page 2 of the keyword as
// given and every later page from results elsewhere.
std::string rank_of(const ExtraEngine& engine, const std::string& site, const FetchedPage& page1,
                    const FetchedPage& page2) {
  const EngineProfile& profile = extra(engine.key);
  const FetchedPage elsewhere = testing::served(fixture(engine.files + "-other.html"));
  const PageSource source = [&](std::string_view url, std::stop_token) {
    if (url == engine.page1_url) return page1;
    if (url == engine.page2_url) return page2;
    return elsewhere;
  };
  testing::WorkerRows table;
  table.add(site, utf8_to_gbk_text("中文"));
  table.run(profile, source, {.retries = 0}, {});
  return gbk_to_utf8(table.text(0));
}

TEST(ExtraEngines, RankOrganicResultsAsAUserCountsThem) {
  const std::string not_found = gbk_to_utf8(kNotFoundText);
  struct Case {
    const char* what;
    std::string site;
    std::string cell;
  };
  // Every engine's first page holds an ad above the results, nine counted results and a column
  // or a block after them; the site's www host is a result of its own.
  const Case cases[] = {
      {"the first organic result, below an ad", "first.example", "第1名"},
      {"a later result", "shop.example", "<engine>"},
      {"an address in an ad only", "ad.example", not_found},
      {"an address after the results (right-hand column, related searches)", "side.example",
       not_found},
      {"page 2 counts on from the nine results page 1 held", "next.example", "第11名"},
  };
  // Baidu numbers its own encyclopaedia card, 360 leaves its own entry without a redirect
  // unnumbered, Bing's deep links under a result are not results.
  const std::map<std::string, std::string> later_rank = {
      {"baidu_mobile", "第4名"}, {"so360", "第3名"}, {"bing_cn", "第3名"}};
  for (const ExtraEngine& engine : kEnginesUnderTest) {
    const FetchedPage page1 = testing::served(fixture(engine.files + "-results.html"));
    const FetchedPage page2 = testing::served(fixture(engine.files + "-results-page2.html"));
    for (const Case& c : cases) {
      const std::string expected = c.cell == "<engine>" ? later_rank.at(engine.key) : c.cell;
      EXPECT_EQ(rank_of(engine, c.site, page1, page2), expected) << engine.key << ": " << c.what;
    }
  }
}

TEST(ExtraEngines, RecogniseRefusalsEmptyAnswersAndUnrelatedPages) {
  for (const ExtraEngine& engine : kEnginesUnderTest) {
    const EngineProfile& profile = extra(engine.key);
    const std::string block_page = engine.key == "bing_cn" ? "-captcha.html" : "-verify.html";
    EXPECT_EQ(judge_page(profile, testing::served(fixture(engine.files + block_page))).verdict,
              Verdict::blocked)
        << engine.key;

    FetchedPage redirected = testing::served("");
    redirected.redirects = {engine.block_address};
    redirected.final_url = engine.block_address;
    EXPECT_EQ(judge_page(profile, redirected).verdict, Verdict::blocked) << engine.key;

    EXPECT_EQ(
        judge_page(profile, testing::served(fixture(engine.files + "-no-results.html"))).verdict,
        Verdict::no_results)
        << engine.key;
    EXPECT_EQ(
        judge_page(profile, testing::served("<html><body><p>欢迎光临</p></body></html>")).verdict,
        Verdict::unrecognised)
        << engine.key;
    EXPECT_EQ(judge_page(profile, testing::served(fixture(engine.files + "-results.html"))).verdict,
              Verdict::result)
        << engine.key;
  }
  // A keyword that spells a verification host is no verification.
  FetchedPage asked = testing::served(fixture("so360-results.html"));
  asked.final_url = "https://www.so.com/s?ie=utf-8&q=qcaptcha&pn=1";
  EXPECT_EQ(judge_page(extra("so360"), asked).verdict, Verdict::result);
}

TEST(ExtraEngines, EachIsAskedAsItsBrowserWould) {
  const std::map<std::string, std::string> names = {
      {"baidu_mobile", "百度移动"}, {"so360", "360搜索"}, {"bing_cn", "必应"}};
  const auto profiles = extra_current_profiles();
  ASSERT_EQ(profiles.size(), names.size());
  for (const auto& [key, profile] : profiles) {
    EXPECT_EQ(profile.name, names.at(key));
    EXPECT_EQ(profile.home_page, "https://" + profile.host + "/") << key;
    EXPECT_TRUE(profile.session && profile.cookies && profile.warm_up) << key;
    const bool phone = key == "baidu_mobile";
    EXPECT_EQ(profile.user_agent.find("Mobile Safari") != std::string::npos, phone) << key;
    const std::string mobile_hint = phone ? "sec-ch-ua-mobile: ?1" : "sec-ch-ua-mobile: ?0";
    EXPECT_NE(std::find(profile.headers.begin(), profile.headers.end(), mobile_hint),
              profile.headers.end())
        << key;
  }
}

}  // namespace
}  // namespace quillrank
