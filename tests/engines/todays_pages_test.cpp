// The profiles of examples/engines-today.toml on pages in the shape of today's result and
// verification pages (tests/fixtures/engines-today): ranks, refusals and empty answers.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engines/engine_worker.h"
#include "settings/settings.h"
#include "support/fake_pages.h"
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

const Settings& todays() {
  static const Settings settings = [] {
    const auto read = read_settings_file(kSource + "/examples/engines-today.toml");
    if (const auto* error = std::get_if<std::string>(&read)) ADD_FAILURE() << *error;
    return std::get_if<Settings>(&read) ? std::get<Settings>(read) : Settings{};
  }();
  return settings;
}

struct Case {
  const char* what;
  std::size_t engine;
  std::map<int, FetchedPage> pages;  // by page number; any other page lists other sites
  std::string cell;
  std::string detail_part;  // a piece of the cell's detail
};

TEST(TodaysPages, EachExampleProfileRanksAndRecognisesRefusals) {
  const FetchedPage baidu = testing::served(fixture("baidu-results.html"));
  const FetchedPage sogou = testing::served(fixture("sogou-results.html"));
  // Results of other sites in the shapes of both engines.
  const FetchedPage elsewhere =
      testing::served(fixture("baidu-other-results.html") +
                      "<div class=\"r-sech ext_query\" data-url=\"https://x.example/\"></div>");
  const Case cases[] = {
      {"Baidu: the fourth card with an address", 0, {{1, baidu}}, "第4名", "第1页找到"},
      {"Baidu: the same card on page 2", 0, {{2, baidu}}, "第14名", "第2页找到"},
      {"Baidu: verification page",
       0,
       {{1, testing::served(fixture("baidu-verify.html"))}},
       "被拦截",
       "百度安全验证"},
      {"Baidu: redirect to the captcha",
       0,
       {{1, redirected("https://wappass.baidu.com/static/captcha/tuxing.html?ak=1&backurl=x", "")}},
       "被拦截",
       "wappass.baidu.com"},
      {"Baidu: nothing found",
       0,
       {{1, testing::served(fixture("baidu-no-results.html"))}},
       "排在300后",
       "抱歉，没有找到与"},
      {"Google: the JavaScript wall",
       1,
       {{1, testing::served(fixture("google-enablejs.html"))}},
       "被拦截",
       "含“enablejs”"},
      {"Sogou: the third result block", 2, {{1, sogou}}, "第3名", "第1页找到"},
      {"Sogou: on page 3", 2, {{3, sogou}}, "第23名", "第3页找到"},
      {"Sogou: antispider page",
       2,
       {{1, testing::served(fixture("sogou-antispider.html"))}},
       "被拦截",
       "我们的系统检测到您网络中存在异常访问请求"},
      {"Sogou: redirect to antispider",
       2,
       {{1, redirected("https://www.sogou.com/antispider/?from=%2Fweb%3Fquery%3D1", "")}},
       "被拦截",
       "antispider"},
      {"Soso asks Sogou", 3, {{2, sogou}}, "第13名", "第2页找到"},
  };
  for (const Case& c : cases) {
    const EngineProfile& profile = todays().profiles[c.engine];
    std::vector<std::string> urls;
    const PageSource source = [&](std::string_view url, std::stop_token) {
      urls.emplace_back(url);
      for (const auto& [page, fetched] : c.pages) {
        if (url == query_url(profile, utf8_to_gbk_text("中文"), page)) return fetched;
      }
      return elsewhere;
    };
    ResultTable table;
    table.insert_row(-1, "http://shop.example");
    table.set_cell_text(0, 1, utf8_to_gbk_text("中文"));
    run_engine_worker(profile, table, source, {.retries = 0}, {});
    EXPECT_EQ(gbk_to_utf8(table.get_cell_text(0, profile.column)), c.cell) << c.what;
    const std::string detail = gbk_to_utf8(table.get_cell_detail(0, profile.column));
    EXPECT_NE(detail.find(c.detail_part), std::string::npos) << c.what << ": " << detail;
  }
}

TEST(TodaysPages, ExampleProfilesAskInUtf8OverHttps) {
  const std::pair<std::size_t, std::string> first_pages[] = {
      {0, "https://www.baidu.com/s?ie=utf-8&wd=%E4%B8%AD%E6%96%87&pn=0"},
      {1,
       "https://www.google.com/search?ie=UTF-8&oe=UTF-8&hl=zh-CN&q=%E4%B8%AD%E6%96%87&start=0"
       "&filter=0"},
      {2, "https://www.sogou.com/web?ie=utf8&query=%E4%B8%AD%E6%96%87&page=1"},
      {3, "https://www.sogou.com/web?ie=utf8&query=%E4%B8%AD%E6%96%87&page=1"},
  };
  for (const auto& [engine, url] : first_pages) {
    EXPECT_EQ(query_url(todays().profiles[engine], utf8_to_gbk_text("中文"), 1), url);
    EXPECT_EQ(todays().profiles[engine].page_count * todays().profiles[engine].page_size, 300);
  }
}

}  // namespace
}  // namespace quillrank
