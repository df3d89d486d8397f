// quillrank-batch as a built program: input, engines, output forms, exit codes and Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <thread>

#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;

// shop.example is third on Baidu's first page and nowhere on Soso.
FixtureServer engines() {
  return FixtureServer([](const HttpRequest& request) {
    const bool baidu = request.header("Host") == "www.baidu.com";
    return HttpReply{.body = testing::engine_result_page(baidu ? kBaidu : kSoso,
                                                         "http://shop.example/", baidu ? 2 : -1)};
  });
}

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "quillrank-" + name;
}

TEST(BatchCommand, RanksAFileAndWritesTabSeparatedUtf8) {
  FixtureServer server = engines();
  const std::string input = temp_path("gbk.txt");
  testing::write_file(input, "shop.example|\xD6\xD0\xCE\xC4\r\nshop.example|seo");  // 中文 in GBK
  const testing::ProgramRun run = testing::run_program(kProgram, {"-e", "Baidu,soso", input},
                                                       {{"http_proxy", server.base_url()}});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "") << "no progress when standard error is no terminal";
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://shop.example\t中文\t第3名\t未启动\t未启动\t排在300后\n"
            "http://shop.example\tseo\t第3名\t未启动\t未启动\t排在300后\n");
  for (const HttpRequest& request : server.requests()) {
    EXPECT_TRUE(request.target.starts_with("http://www.baidu.com/s?wd=%D6%D0%CE%C4") ||
                request.target.starts_with("http://www.baidu.com/s?wd=seo") ||
                request.target.starts_with("http://www.soso.com/q?sc=web&w="))
        << request.target;
  }
}

TEST(BatchCommand, ReadsUtf8FromStandardInputAndWritesCsvToAFile) {
  FixtureServer server = engines();
  const std::string output = temp_path("out.csv");
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"--csv", "-e", "baidu", "-o", output, "-"}, {{"http_proxy", server.base_url()}},
      "\xEF\xBB\xBFshop.example|=1+1,\"x\"");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(testing::read_file(output),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso\r\n"
            "http://shop.example,\"'=1+1,\"\"x\"\"\",第3名,未启动,未启动,未启动\r\n");
}

// Home pages whose titles spell other entries: the run ends, as the rule has it.
TEST(BatchCommand, ExpandsEntriesWhoseLinesSpellOtherEntries) {
  struct Case {
    std::string box;
    std::map<std::string, std::string> titles;  // by host
  };
  const Case cases[] = {
      {"[a]\n[b]\n[a]", {{"a", "[b] ]"}, {"b", "[b]]\n_"}}},
      {"|\n|[b][a]b[b]]", {{"b", "][b]b"}, {"a", "[a][a]aa"}}},
      {"[y][x]", {{"y", "[x][x]"}, {"x", "a]]"}}},
      {"[y]|k\n[x]|k", {{"y", "[x] and [x]"}, {"x", "Shop]]"}}},
  };
  for (const Case& c : cases) {
    FixtureServer server([&c](const HttpRequest& request) {
      const auto title = c.titles.find(request.header("Host"));
      return HttpReply{.body = title == c.titles.end() ? "" : "<title>" + title->second + "</title>"};
    });
    const testing::ProgramRun run =
        testing::run_program(kProgram, {"-e", "baidu"}, {{"http_proxy", server.base_url()}}, c.box);
    EXPECT_EQ(run.exit_code, 0) << c.box << run.err;
    EXPECT_TRUE(run.out.starts_with("网站域名\t")) << c.box;
  }
  FixtureServer server([](const HttpRequest& request) {
    const std::string host = request.header("Host");
    return HttpReply{.body = host == "y" ? "<title>[x][x]</title>"
                             : host == "x" ? "<title>a]]</title>"
                                           : ""};
  });
  const testing::ProgramRun run =
      testing::run_program(kProgram, {"-e", "baidu"}, {{"http_proxy", server.base_url()}}, "[y][x]");
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://y\tx\t排在300后\t未启动\t未启动\t未启动\n"
            "http://a]]x\ta]]x\t排在300后\t未启动\t未启动\t未启动\n"
            "http://a]]\t\t排在300后\t未启动\t未启动\t未启动\n");
}

TEST(BatchCommand, RefusesBadUsageAndUnreadableInputWithStatusTwo) {
  const std::vector<std::vector<std::string>> calls = {
      {"--frobnicate"},           {"-e", "bing"},        {"-e"}, {"a.txt", "b.txt"},
      {temp_path("missing.txt")}, {::testing::TempDir()}};  // a folder
  for (const auto& args : calls) {
    const testing::ProgramRun run = testing::run_program(kProgram, args);
    EXPECT_EQ(run.exit_code, 2) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("quillrank-batch: ")) << run.err;
  }
}

TEST(BatchCommand, ShowsRowsDonePerEngineOnATerminal) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 0),
                     .stall_before_reply = 300ms};
  });
  testing::ChildProgram child(kProgram, {"-e", "baidu,google"}, {{"http_proxy", server.base_url()}},
                              "shop.example|seo", /*error_to_terminal=*/true);
  const testing::ProgramRun run = child.wait();
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("\rBaidu 0/1  Google 0/1"), std::string::npos) << run.err;
  EXPECT_TRUE(run.err.ends_with("\r\033[K")) << "the progress line is cleared at the end";
  EXPECT_NE(run.out.find("\t第1名\t"), std::string::npos) << run.out;
}

TEST(BatchCommand, CtrlCStopsTheWorkersAndExitsWith130) {
  FixtureServer server(
      [](const HttpRequest&) { return HttpReply{.body = "x", .stall_before_reply = 60s}; });
  testing::ChildProgram child(kProgram, {"-e", "baidu,google,sogou,soso"},
                              {{"http_proxy", server.base_url()}}, "shop.example|seo");
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (server.request_count() < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(server.request_count(), 4u);
  child.signal(SIGINT);
  const testing::ProgramRun run = child.wait();
  EXPECT_EQ(run.exit_code, 130);
  EXPECT_EQ(run.out, "");
}

// A site entry's home page that never answers does not keep Ctrl-C from working.
TEST(BatchCommand, CtrlCAlsoStopsTheSiteEntryExpansion) {
  FixtureServer home([](const HttpRequest&) {
    return HttpReply{.body = "<title>x</title>", .stall_before_reply = 60s};
  });
  testing::ChildProgram child(kProgram, {}, {}, "[127.0.0.1:" + std::to_string(home.port()) + "]");
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (home.request_count() < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(home.request_count(), 1u);
  child.signal(SIGINT);
  EXPECT_EQ(child.wait().exit_code, 130);
}

}  // namespace
}  // namespace quillrank
