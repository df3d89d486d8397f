// The built-in current profiles on pages in the shape of today's result and verification pages
// (tests/fixtures/engines-today): ranks as the engines number them, refusals and empty answers.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "support/fake_pages.h"
#include "support/worker_rows.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

const std::string kSource = QUILLRANK_SOURCE_DIR;

std::string fixture(const std::string& name) {
  std::ifstream file(kSource + "/tests/fixtures/engines-today/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_TRUE(file) << name;
  return text.str();
}

// A fetch that a redirect took to `address` and that ended there with `body`.
FetchedPage redirected(const std::string& address, const std::string& body) {
  FetchedPage page = testing::served(body);
  page.redirects = {address};
  page.final_url = address;
  return page;
}

const EngineProfile& current(std::size_t engine) {
  return builtin_engines(ProfileSet::current)[engine].profile;
}

struct Case {
  const char* what;
  std::size_t engine;
  std::string site;
  // By the page's paging parameter and value as the URL carries it ("&pn=10", "&page=3"); any
  // other page lists other sites.
  std::map<std::string, FetchedPage> pages;
  std::string cell;
  std::string detail_part;  // a piece of the cell's detail
};

TEST(TodaysPages, EachCurrentProfileRanksAsTheEngineNumbersAndRecognisesRefusals) {
  const FetchedPage baidu = testing::served(fixture("baidu-results.html"));
  const FetchedPage sogou = testing::served(fixture("sogou-results.html"));
  const FetchedPage baidu_elsewhere = testing::served(fixture("baidu-other-results.html"));
  const FetchedPage sogou_elsewhere = testing::served(fixture("sogou-other-results.html"));
  const Case cases[] = {
      {"Baidu: the card Baidu numbers 5 (a card without mu and an ad before it)",
       0,
       "shop.example",
       {{"&pn=0", baidu}},
       "第5名",
       "第1页找到"},
      {"Baidu: page 2 asks from the tenth result on, as page 1 held ten",
       0,
       "shop.example",
       {{"&pn=10", testing::served(fixture("baidu-results-page2.html"))}},
       "第14名",
       "第2页找到"},
      // The right-hand column stands first in the page and its cards carry mu too: counted, they
      // put the first organic result (card 3) at 5.
      {"Baidu: the first organic result after Baidu's own cards",
       0,
       "shop.example",
       {{"&pn=0", testing::served(fixture("baidu-right-column.html"))}},
       "第3名",
       "第1页找到"},
      {"Baidu: a site in the right-hand column only is not ranked",
       0,
       "top.baidu.com",
       {{"&pn=0", testing::served(fixture("baidu-right-column.html"))}},
       "排在300后",
       "没有该网站的链接"},
      {"Baidu: verification page",
       0,
       "shop.example",
       {{"&pn=0", testing::served(fixture("baidu-verify.html"))}},
       "被拦截",
       "百度安全验证"},
      {"Baidu: redirect to the captcha",
       0,
       "shop.example",
       {{"&pn=0",
         redirected("https://wappass.baidu.com/static/captcha/tuxing.html?ak=1&backurl=x", "")}},
       "被拦截",
       "wappass.baidu.com"},
      {"Baidu: nothing found",
       0,
       "shop.example",
       {{"&pn=0", testing::served(fixture("baidu-no-results.html"))}},
       "排在300后",
       "抱歉，没有找到与"},
      {"Google: the JavaScript wall",
       1,
       "shop.example",
       {{"&start=0", testing::served(fixture("google-enablejs.html"))}},
       "被拦截",
       "含“enablejs”"},
      {"Sogou: the third result block",
       2,
       "shop.example",
       {{"&page=1", sogou}},
       "第3名",
       "第1页找到"},
      {"Sogou: on page 3, after two pages of ten",
       2,
       "shop.example",
       {{"&page=3", sogou}},
       "第23名",
       "第3页找到"},
      {"Sogou: antispider page",
       2,
       "shop.example",
       {{"&page=1", testing::served(fixture("sogou-antispider.html"))}},
       "被拦截",
       "我们的系统检测到您网络中存在异常访问请求"},
      {"Sogou: redirect to antispider",
       2,
       "shop.example",
       {{"&page=1", redirected("https://www.sogou.com/antispider/?from=%2Fweb%3Fquery%3D1", "")}},
       "被拦截",
       "antispider"},
      {"Soso asks Sogou", 3, "shop.example", {{"&page=2", sogou}}, "第13名", "第2页找到"},
  };
  for (const Case& c : cases) {
    const EngineProfile& profile = current(c.engine);
    const PageSource source = [&](std::string_view url, std::stop_token) {
      for (const auto& [paging, fetched] : c.pages) {
        const std::size_t at = url.find(paging);
        if (at != std::string_view::npos &&
            (at + paging.size() == url.size() || url[at + paging.size()] == '&')) {
          return fetched;
        }
      }
      return c.engine == 0 ? baidu_elsewhere : sogou_elsewhere;
    };
    testing::WorkerRows table;
    table.add(c.site, utf8_to_gbk_text("中文"));
    table.run(profile, source, {.retries = 0}, {});
    EXPECT_EQ(gbk_to_utf8(table.text(0)), c.cell) << c.what;
    const std::string detail = gbk_to_utf8(table.detail(0));
    EXPECT_NE(detail.find(c.detail_part), std::string::npos) << c.what << ": " << detail;
  }
}

TEST(TodaysPages, CurrentProfilesAskInUtf8OverHttpsForThreeHundredResults) {
  const std::pair<std::size_t, std::string> first_pages[] = {
      {0, "https://www.baidu.com/s?ie=utf-8&wd=%E4%B8%AD%E6%96%87&pn=0&rn=50"},
      {1,
       "https://www.google.com/search?ie=UTF-8&oe=UTF-8&hl=zh-CN&q=%E4%B8%AD%E6%96%87&start=0"
       "&filter=0"},
      {2, "https://www.sogou.com/web?query=%E4%B8%AD%E6%96%87&page=1&ie=utf8"},
      {3, "https://www.sogou.com/web?query=%E4%B8%AD%E6%96%87&page=1&ie=utf8"},
  };
  for (const auto& [engine, url] : first_pages) {
    const EngineProfile& profile = current(engine);
    EXPECT_EQ(query_url(profile, utf8_to_gbk_text("中文"), 1), url);
    EXPECT_EQ(profile.page_count * profile.page_size, 300);
    // Google's pages are rendered by the browser, which keeps the cookies and needs no visit.
    const bool rendered = profile.fetch == FetchKind::browser;
    EXPECT_EQ(rendered, engine == 1) << profile.name;
    EXPECT_TRUE(profile.session && profile.cookies && profile.warm_up != rendered) << profile.name;
    EXPECT_EQ(profile.home_page, "https://" + profile.host + "/");
  }
}

}  // namespace
}  // namespace quillrank
