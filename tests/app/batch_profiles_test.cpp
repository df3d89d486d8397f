// quillrank-batch with engine profiles from a settings file: what goes on the wire, how ranks are
// read and captioned, --print-config, and a wrong profile refused before any request.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "quillrank-profiles-" + name;
}

// Baidu as today's pages need it: UTF-8 keywords, a browser's headers, result cards that carry
// their real address in "mu", counted in page order.
constexpr const char* kTodaysBaidu = R"toml(
profiles = "classic"
[engine.baidu]
name = "百度"
query_path = "/s?ie=utf-8&wd="
page_size = 10
query_tail = ""
keyword_encoding = "utf-8"
link_prefix = " mu="
link_schemes = ["http://", "https://"]
rank_rule = "link_ordinal"
headers = { Accept-Language = "zh-CN,zh;q=0.9", Cookie = "BAIDUID=0123:FG=1" }
user_agent = "Mozilla/5.0 (X11; Linux x86_64)"
)toml";

// Page 1 and 2 list other sites; page 3 has shop.example (https) in its second card.
std::string baidu_card_page(const std::string& target) {
  const bool third = target.find("&pn=20") != std::string::npos;
  std::string page = "<div id=\"content_left\">";
  for (int card = 1; card <= 10; ++card) {
    const std::string address =
        third && card == 2 ? "https://shop.example/" : "https://other.example/";
    page += "<div class=\"result c-container\" mu=\"" + address + "\"></div>";
  }
  return page + "</div>";
}

// Two engines the settings file adds: their columns follow the four in the file's order, -e
// asks them by key, --details explains them, and the history keeps them under their keys.
TEST(BatchProfiles, EnginesTheSettingsFileAddsAreAskedRecordedAndShown) {
  FixtureServer server([](const HttpRequest& request) {
    const bool zeta = request.header("Host") == "zeta.example";
    return HttpReply{.body = "<a href=\"http://other.example/\"></a><a href=\"http://" +
                             std::string(zeta ? "shop.example/z" : "shop.example/a") + "\"></a>"};
  });
  const std::string config = temp_path("added.toml");
  testing::write_file(config,
                      "profiles = 'classic'\n"
                      "[engine.zeta]\nname = 'Zeta'\nhost = 'zeta.example'\nquery_path = '/?q='\n"
                      "link_prefix = '<a href='\nrank_rule = 'link_ordinal'\n"
                      "[engine.alpha]\nhost = 'alpha.example'\nquery_path = '/s?q='\n"
                      "link_prefix = '<a href='\nrank_rule = 'link_ordinal'\n");
  const std::string input = temp_path("added.txt");
  testing::write_file(input, "shop.example|seo\n");
  const std::string history = temp_path("added.sqlite3");
  std::filesystem::remove(history);
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "ALPHA,zeta", "--details", "--config", config, "--history", history, input},
      {{"http_proxy", server.base_url()}});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\tZeta\talpha\tZeta说明\talpha说明\n"
            "http://shop.example\tseo\t未启动\t未启动\t未启动\t未启动\t第2名\t第2名\t"
            "第1页找到：http://shop.example/z\t第1页找到：http://shop.example/a\n");
  EXPECT_EQ(server.request_count(), 2u);

  const testing::ProgramRun zeta = testing::run_program(
      QUILLRANK_HISTORY_PROGRAM, {"--full", "--engine", "zeta", "--history", history});
  ASSERT_EQ(zeta.exit_code, 0) << zeta.err;
  EXPECT_NE(zeta.out.find("shop.example\tseo\tzeta\t2\t"), std::string::npos) << zeta.out;
  EXPECT_EQ(zeta.out.find("alpha"), std::string::npos) << zeta.out;
  const testing::ProgramRun runs =
      testing::run_program(QUILLRANK_HISTORY_PROGRAM, {"--runs", "--history", history});
  EXPECT_NE(runs.out.find("zeta,alpha"), std::string::npos) << runs.out;

  const testing::ProgramRun unknown =
      testing::run_program(kProgram, {"-e", "baidu,beta", "--config", config, input},
                           {{"http_proxy", "http://127.0.0.1:9"}});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("unknown engine 'beta' (use baidu, google, sogou, soso, zeta, alpha, "
                             "or all)"),
            std::string::npos)
      << unknown.err;
}

TEST(BatchProfiles, RanksWithAProfileFromTheSettingsFile) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.header("Host") == "www.baidu.com")
      return HttpReply{.body = baidu_card_page(request.target)};
    return HttpReply{.body = testing::engine_result_page(kSoso, "http://shop.example/", 4)};
  });
  const std::string config = temp_path("today.toml");
  testing::write_file(config, kTodaysBaidu);
  const std::string input = temp_path("list.txt");
  testing::write_file(input, "shop.example|\xD6\xD0\xCE\xC4\n");  // 中文 in GBK
  const testing::ProgramRun run =
      testing::run_program(kProgram, {"-e", "baidu,soso", "--details", "--config", config, input},
                           {{"http_proxy", server.base_url()}});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(
      run.out.starts_with("网站域名\t关键词\t百度\tGoogle\tSogou\tSoso\t百度说明\tSoso说明\n"
                          "http://shop.example\t中文\t第22名\t未启动\t未启动\t第5名\t"))
      << run.out;

  int baidu_requests = 0;
  for (const HttpRequest& request : server.requests()) {
    if (request.header("Host") == "www.baidu.com") {
      ++baidu_requests;
      EXPECT_TRUE(
          request.target.starts_with("http://www.baidu.com/s?ie=utf-8&wd=%E4%B8%AD%E6%96%87&pn="))
          << request.target;
      EXPECT_EQ(request.header("Accept-Language"), "zh-CN,zh;q=0.9");
      EXPECT_EQ(request.header("Cookie"), "BAIDUID=0123:FG=1");
      EXPECT_EQ(request.header("User-Agent"), "Mozilla/5.0 (X11; Linux x86_64)");
    } else {
      EXPECT_TRUE(request.target.starts_with("http://www.soso.com/q?sc=web&w=%D6%D0%CE%C4&pg="))
          << request.target;
      EXPECT_EQ(request.header("Cookie"), "");
      EXPECT_EQ(request.header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    }
  }
  EXPECT_EQ(baidu_requests, 3);
}

TEST(BatchProfiles, PrintsTheSettingsAsAFileThatReadsBackTheSame) {
  const std::string config = temp_path("print.toml");
  testing::write_file(config, kTodaysBaidu);
  const testing::ProgramRun printed =
      testing::run_program(kProgram, {"--print-config", "--config", config, "--retries", "3"});
  ASSERT_EQ(printed.exit_code, 0) << printed.err;
  EXPECT_NE(printed.out.find("[engine.baidu]\n"), std::string::npos);
  EXPECT_NE(printed.out.find("rank_rule = 'link_ordinal'\n"), std::string::npos);
  EXPECT_NE(printed.out.find("[engine.soso]\n"), std::string::npos);
  EXPECT_NE(printed.out.find("retries = 3\n"), std::string::npos);

  const std::string saved = temp_path("saved.toml");
  testing::write_file(saved, printed.out);
  const testing::ProgramRun again =
      testing::run_program(kProgram, {"--print-config", "--config", saved});
  EXPECT_EQ(again.out, printed.out);

  // An empty file changes nothing: the built-in profiles, as with no file at all (the tests'
  // own user settings file chooses the classic set).
  const std::string empty = temp_path("empty.toml");
  testing::write_file(empty, "");
  EXPECT_EQ(
      testing::run_program(kProgram, {"--print-config", "--config", empty, "--profiles", "classic"})
          .out,
      testing::run_program(kProgram, {"--print-config"}).out);
}

TEST(BatchProfiles, RefusesAWrongProfileBeforeAnyRequest) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = "x"}; });
  const std::string config = temp_path("wrong.toml");
  testing::write_file(config, "[engine.baidu]\nname = 'B'\npage_count = 0\n");
  const std::string input = temp_path("one.txt");
  testing::write_file(input, "shop.example|seo\n");
  const testing::ProgramRun run = testing::run_program(kProgram, {"--config", config, input},
                                                       {{"http_proxy", server.base_url()}});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "quillrank-batch: " + config + ":3: page_count must be 1 to 100\n");
  EXPECT_EQ(server.request_count(), 0u);
}

}  // namespace
}  // namespace quillrank
