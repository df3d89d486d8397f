// quillrank-batch with an engine whose pages the browser renders: it ranks, off-screen, from
// a program without a display, saves the rendered document with --save-pages, and --check asks
// through the browser too.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

TEST(BatchBrowser, RanksSavesAndChecksThroughTheBrowser) {
  // The result link is put together by the page's script: the page as sent holds none.
  FixtureServer engine([](const HttpRequest&) {
    return HttpReply{.body =
                         "<html><body><script>document.write('<a class' + '=\"res\" "
                         "href=\"http://shop.example/\">shop</a>');</script></body></html>"};
  });
  const std::string folder = ::testing::TempDir() + "quillrank-batch-browser";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string config = folder + "/q.toml";
  testing::write_file(config,
                      "[engine.scripted]\nhost = '127.0.0.1:" + std::to_string(engine.port()) +
                          "'\nquery_path = '/s?q='\nlink_prefix = '<a class=\"res\" href='\n"
                          "rank_rule = 'link_ordinal'\npage_count = 1\nfetch = 'browser'\n"
                          "ready_selector = 'a.res'\n");
  // Nothing else to reach: a system proxy that refuses, and no display.
  const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", folder + "/data"},
                                                  {"http_proxy", "http://127.0.0.1:9"},
                                                  {"no_proxy", "127.0.0.1"},
                                                  {"DISPLAY", ""},
                                                  {"QT_QPA_PLATFORM", ""}};
  const std::string pages = folder + "/pages";
  const testing::ProgramRun run = testing::run_program(
      QUILLRANK_BATCH_PROGRAM,
      {"-e", "scripted", "--no-history", "--save-pages", pages, "--config", config, "-"}, env,
      "shop.example|seo\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(
      run.out.ends_with("\tseo\t未启动\t未启动\t未启动\t未启动\t未启动\t未启动\t未启动\t第1名\n"))
      << run.out;
  EXPECT_EQ(run.err, "") << "Qt's and the browser's notes stay out of a command's errors";
  const std::string saved = testing::read_file(pages + "/scripted-1-1.html");
  EXPECT_NE(saved.find("<a class=\"res\" href=\"http://shop.example/\">"), std::string::npos)
      << "the rendered document is saved: " << saved;

  const testing::ProgramRun check = testing::run_program(
      QUILLRANK_BATCH_PROGRAM, {"--check", "-e", "scripted", "--config", config}, env);
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
}

}  // namespace
}  // namespace quillrank
