// quillrank-batch as a built program: input, engines, output forms, exit codes and Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
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

// A proxy that keeps every connection open after a complete page: each page costs about a
// second, not the minute of the stall time-out, and the rank is read.
TEST(BatchCommand, RanksThroughAKeepAliveProxy) {
  FixtureServer proxy([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 2),
                     .keep_open = true};
  });
  const auto start = std::chrono::steady_clock::now();
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu"}, {{"http_proxy", proxy.base_url()}}, "shop.example|seo");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\t第3名\t"), std::string::npos) << run.out;
  EXPECT_EQ(proxy.requests().at(0).header("Proxy-Connection"), "close");
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
      return HttpReply{.body = title == c.titles.end() ? testing::engine_result_page(kBaidu, "", -1)
                                                       : "<title>" + title->second + "</title>"};
    });
    const testing::ProgramRun run =
        testing::run_program(kProgram, {"-e", "baidu"}, {{"http_proxy", server.base_url()}}, c.box);
    EXPECT_EQ(run.exit_code, 0) << c.box << run.err;
    EXPECT_TRUE(run.out.starts_with("网站域名\t")) << c.box;
  }
  FixtureServer server([](const HttpRequest& request) {
    const std::string host = request.header("Host");
    return HttpReply{.body = host == "y"   ? "<title>[x][x]</title>"
                             : host == "x" ? "<title>a]]</title>"
                                           : testing::engine_result_page(kBaidu, "", -1)};
  });
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu"}, {{"http_proxy", server.base_url()}}, "[y][x]");
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://y\tx|a]]x|a]]x|a]]\t排在300后\t未启动\t未启动\t未启动\n");
}

// A line that holds no pair is said on standard error and no row; a site entry whose home page
// fails is a row that reads failed, and no engine is asked an empty keyword.
TEST(BatchCommand, SaysWhichLinesItLeftOutAndRanksAFailedEntryAsFailed) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.header("Host") == "down.example") {
      return HttpReply{.status = 503, .reason = "Unavailable", .body = "<title>down</title>"};
    }
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 0)};
  });
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu", "--retries", "0", "--details"}, {{"http_proxy", server.base_url()}},
      "siteA\nshop.example|seo\n[down.example]\nx|\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err,
            "quillrank-batch: site entry [down.example] was not expanded: 首页 "
            "http://down.example 无法读取：HTTP 503\n"
            "quillrank-batch: line 1 left out (not site|keyword): siteA\n"
            "quillrank-batch: line 4 left out (not site|keyword): x|\n");
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\tBaidu说明\n"
            "http://shop.example\tseo\t第1名\t未启动\t未启动\t未启动\t第1页找到：http://"
            "shop.example/\n"
            "http://down.example\t\t查询失败\t未启动\t未启动\t未启动\t[down.example] 首页 "
            "http://down.example 无法读取：HTTP 503\n");
  for (const HttpRequest& request : server.requests()) {
    EXPECT_EQ(request.target.find("wd=&"), std::string::npos) << request.target;
  }
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

std::string many_rows(int rows) {
  std::string list;
  for (int i = 0; i < rows; ++i) list += "site" + std::to_string(i) + ".example|keyword\r\n";
  return list;
}

std::vector<std::string> files_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// An output that cannot be written is found before any page is asked for.
TEST(BatchCommand, RefusesAnUnusableOutputBeforeRanking) {
  namespace fs = std::filesystem;
  FixtureServer server = engines();
  const std::string input = temp_path("same.txt");
  testing::write_file(input, "shop.example|seo");
  // Only a regular file that may be written, or a new name, is replaced: never a device, a
  // pipe, a link (nor what it points at) or a read-only file.
  const std::string link = temp_path("link.tsv"), read_only = temp_path("read-only.tsv"),
                    pipe = temp_path("pipe.tsv");
  fs::remove(link);
  fs::create_symlink(input, link);
  testing::write_file(read_only, "kept");
  fs::permissions(read_only, fs::perms::owner_read);
  fs::remove(pipe);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& output : {temp_path("missing-folder/out.tsv"), ::testing::TempDir(),
                                    input, std::string("/dev/null"), link, read_only, pipe}) {
    const testing::ProgramRun run =
        testing::run_program(kProgram, {"-o", output, input}, {{"http_proxy", server.base_url()}});
    EXPECT_EQ(run.exit_code, 2) << output;
    EXPECT_TRUE(run.err.starts_with("quillrank-batch: ")) << run.err;
  }
  EXPECT_EQ(server.request_count(), 0u);
  EXPECT_EQ(testing::read_file(input), "shop.example|seo");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(testing::read_file(read_only), "kept");
}

// A disk that fills up keeps the previous table whole and leaves no temporary file behind.
TEST(BatchCommand, KeepsThePreviousOutputWhenWritingFails) {
  const std::string folder = temp_path("full-disk");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string output = folder + "/table.tsv";
  testing::write_file(output, "the old table");
  const std::string offline = "http://127.0.0.1:" + std::to_string(testing::refused_port());
  // The file size limit stands in for a full disk: writes past 512 bytes fail with EFBIG.
  const testing::ProgramRun run =
      testing::run_program("/bin/sh",
                           {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", kProgram, "-e",
                            "baidu", "--retries", "0", "-o", output},
                           {{"http_proxy", offline}}, many_rows(40));
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.err.find("cannot write " + output), std::string::npos) << run.err;
  EXPECT_EQ(testing::read_file(output), "the old table");
  EXPECT_EQ(files_in(folder), std::vector<std::string>{"table.tsv"});

  const testing::ProgramRun written =
      testing::run_program(kProgram, {"-e", "baidu", "--retries", "0", "-o", output},
                           {{"http_proxy", offline}}, many_rows(40));
  EXPECT_EQ(written.exit_code, 0) << written.err;
  EXPECT_TRUE(testing::read_file(output).starts_with("网站域名\t"));
  EXPECT_EQ(files_in(folder), std::vector<std::string>{"table.tsv"});
}

// SIGTERM (and Ctrl-C alike) still works once the ranking is done and the table waits on a pipe
// nobody reads. (A shell starts background commands with SIGINT ignored, hence SIGTERM here.)
TEST(BatchCommand, TerminationEndsAWriteBlockedOnAFullPipe) {
  const std::string folder = temp_path("blocked-pipe");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  // Keywords too long to be sent: every row fails at once, and the table outgrows a pipe.
  std::string list;
  for (int i = 0; i < 20; ++i) list += "a.example|" + std::string(8000, 'k') + "\r\n";
  testing::write_file(folder + "/in", list);
  testing::ChildProgram shell(
      "/bin/sh",
      {"-c",
       "cd \"$1\" && mkfifo pipe || exit 1; ( \"$0\" -e baidu <in >pipe & echo $! >pid; "
       "wait $!; echo $? >status ) & exec 3<pipe; sleep 60",
       kProgram, folder},
      {}, "");
  auto wait_for_file = [&](const std::string& name, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (testing::read_file(folder + "/" + name).empty() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
    return testing::read_file(folder + "/" + name);
  };
  const std::string pid = wait_for_file("pid", 10s);
  ASSERT_FALSE(pid.empty());
  std::this_thread::sleep_for(1500ms);  // the ranking is done and the write blocks
  EXPECT_EQ(testing::read_file(folder + "/status"), "") << "the write did not block";
  kill(std::stoi(pid), SIGTERM);
  EXPECT_EQ(wait_for_file("status", 10s), "130\n");
  shell.signal(SIGKILL);
  if (testing::read_file(folder + "/status").empty()) kill(std::stoi(pid), SIGKILL);
}

// A signal while the list is still being read ends the program and leaves no temporary file.
TEST(BatchCommand, TerminationWhileReadingLeavesNoTemporaryFile) {
  const std::string folder = temp_path("blocked-input");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  testing::ChildProgram shell(
      "/bin/sh",
      {"-c",
       "cd \"$1\" && mkfifo in || exit 1; ( \"$0\" -o table.tsv <in & echo $! >pid; "
       "wait $!; echo $? >status ) & exec 3>in; sleep 60",
       kProgram, folder},
      {}, "");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (testing::read_file(folder + "/pid").empty() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  const std::string pid = testing::read_file(folder + "/pid");
  ASSERT_FALSE(pid.empty());
  // Once the temporary output exists, the program waits on its input.
  auto temporary_exists = [&] {
    for (const std::string& name : files_in(folder)) {
      if (name.starts_with(".table.tsv.")) return true;
    }
    return false;
  };
  while (!temporary_exists() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(temporary_exists());
  kill(std::stoi(pid), SIGTERM);
  while (testing::read_file(folder + "/status").empty() &&
         std::chrono::steady_clock::now() < deadline + 10s) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(testing::read_file(folder + "/status"), "130\n");
  EXPECT_EQ(files_in(folder), (std::vector<std::string>{"in", "pid", "status"}));
  shell.signal(SIGKILL);
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
