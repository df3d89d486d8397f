// quillrank-batch against engines that refuse, fail and pace: the cells and their reasons, the
// requests the engines see, and the settings file's errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;

std::vector<std::vector<std::string>> rows_of(const std::string& tsv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(tsv);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::size_t begin = 0;
    for (std::size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1) {
      cells.push_back(line.substr(begin, tab - begin));
    }
    cells.push_back(line.substr(begin));
    rows.push_back(cells);
  }
  return rows;
}

// Baidu refuses row 3's second page; Sogou sends the first request to its verification page.
TEST(BatchVerdicts, ABlockStopsItsEngineAndEveryCellSaysWhy) {
  std::mutex mutex;
  int baidu = 0, sogou = 0;
  FixtureServer engines([&](const HttpRequest& request) {
    std::lock_guard lock(mutex);
    if (request.header("Host") == "www.sogou.com") {
      ++sogou;
      if (request.target.find("/antispider") != std::string::npos) {
        return HttpReply{.body = "<html>antispider</html>"};
      }
      return HttpReply{.status = 302,
                       .reason = "Found",
                       .headers = {{"Location", "http://www.sogou.com/antispider/?from=web"}}};
    }
    ++baidu;
    if (request.target.find("wd=k3&pn=100&") != std::string::npos) {
      return HttpReply{.status = 403, .reason = "Forbidden"};
    }
    return HttpReply{.body = testing::engine_result_page(kBaidu, "", -1)};
  });
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu,sogou", "--details", "--retries", "0"},
      {{"http_proxy", engines.base_url()}},
      "a.example|k1\na.example|k2\na.example|k3\na.example|k4\na.example|k5\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto rows = rows_of(run.out);
  ASSERT_EQ(rows.size(), 6u) << run.out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"网站域名", "关键词", "Baidu", "Google", "Sogou",
                                               "Soso", "Baidu说明", "Sogou说明"}));
  EXPECT_EQ(rows[1][2], "排在300后");
  EXPECT_EQ(rows[2][2], "排在300后");
  EXPECT_EQ(rows[1][6], "前3页没有该网站的链接");
  EXPECT_EQ(rows[3][2], "被拦截");
  EXPECT_EQ(rows[3][6], "第2页：HTTP 403：引擎拒绝了请求");
  for (int row = 4; row <= 5; ++row) {
    EXPECT_EQ(rows[row][2], "被拦截");
    EXPECT_EQ(rows[row][6], "未查询：该引擎已在第3行第2页拦截本次运行");
  }
  std::lock_guard lock(mutex);
  EXPECT_EQ(rows[1][4], "被拦截");
  EXPECT_EQ(rows[1][7], "第1页：被重定向到验证地址 http://www.sogou.com/antispider/?from=web");
  for (int row = 2; row <= 5; ++row) EXPECT_EQ(rows[row][4], "被拦截");
  EXPECT_EQ(baidu, 3 + 3 + 2) << "nothing asked after the block";
  EXPECT_EQ(sogou, 2) << "the first request and its redirect, nothing after";
}

// A server error is asked again after 1 s, then 2 s; the third answer is read.
TEST(BatchVerdicts, RetriesAServerErrorWithGrowingPauses) {
  std::mutex mutex;
  std::vector<Clock::time_point> seen;
  FixtureServer engines([&](const HttpRequest&) {
    std::lock_guard lock(mutex);
    seen.push_back(Clock::now());
    if (seen.size() < 3) return HttpReply{.status = 503, .reason = "Busy"};
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://a.example/", 4)};
  });
  const testing::ProgramRun run =
      testing::run_program(kProgram, {"-e", "baidu", "--retries", "2"},
                           {{"http_proxy", engines.base_url()}}, "a.example|seo");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\t第5名\t"), std::string::npos) << run.out;
  std::lock_guard lock(mutex);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_GE(seen[1] - seen[0], 1s);
  EXPECT_GE(seen[2] - seen[1], 2s);
}

TEST(BatchVerdicts, PausesBetweenTwoRequestsOfAnEngine) {
  std::mutex mutex;
  std::vector<Clock::time_point> seen;
  FixtureServer engines([&](const HttpRequest&) {
    std::lock_guard lock(mutex);
    seen.push_back(Clock::now());
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://a.example/", 0)};
  });
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu", "--delay", "0.3-0.4"}, {{"http_proxy", engines.base_url()}},
      "a.example|one\na.example|two\na.example|three");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::lock_guard lock(mutex);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_GE(seen[1] - seen[0], 300ms);
  EXPECT_GE(seen[2] - seen[1], 300ms);
}

// --save-pages keeps every page as the engine sent it, with an index saying what was made of it.
TEST(BatchVerdicts, SavesEveryPageWithItsVerdict) {
  const std::string baidu_page = testing::engine_result_page(kBaidu, "http://a.example/", 1);
  FixtureServer engines([&baidu_page](const HttpRequest& request) {
    if (request.header("Host") == "www.sogou.com") {
      return HttpReply{.status = 403, .reason = "Forbidden", .body = "go away"};
    }
    return HttpReply{.body = baidu_page};
  });
  const std::string folder = ::testing::TempDir() + "quillrank-saved";
  std::filesystem::remove_all(folder);
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"-e", "baidu,sogou", "--retries", "0", "--save-pages", folder},
      {{"http_proxy", engines.base_url()}}, "a.example|seo");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(testing::read_file(folder + "/baidu-1-1.html"), baidu_page);
  EXPECT_EQ(testing::read_file(folder + "/sogou-1-1.html"), "go away");
  const auto index = rows_of(testing::read_file(folder + "/index.tsv"));
  ASSERT_EQ(index.size(), 3u);
  EXPECT_EQ(index[0], (std::vector<std::string>{"engine", "row", "page", "url", "status",
                                                "final_url", "verdict", "reason", "member"}));
  for (const auto& line : {index[1], index[2]}) {
    ASSERT_EQ(line.size(), 9u);
    if (line[0] == "baidu") {
      EXPECT_EQ(line, (std::vector<std::string>{
                          "baidu", "1", "1", "http://www.baidu.com/s?wd=seo&pn=0&rn=100", "200",
                          "http://www.baidu.com/s?wd=seo&pn=0&rn=100", "result", "", ""}));
    } else {
      EXPECT_EQ(line[0], "sogou");
      EXPECT_EQ(line[4], "403");
      EXPECT_EQ(line[6], "blocked");
      EXPECT_EQ(line[7], "HTTP 403：引擎拒绝了请求");
    }
  }
}

// A disk that fills up while pages are saved is said, and the run still ranks every row and
// writes its table; its status is 1. (The file size limit stands in for the full disk.)
TEST(BatchVerdicts, SavingPagesOnAFullDiskIsReportedAndTheRunGoesOn) {
  const std::string page = testing::engine_result_page(kBaidu, "http://a.example/", 1);
  FixtureServer engines([&page](const HttpRequest&) { return HttpReply{.body = page}; });
  const std::string folder = ::testing::TempDir() + "quillrank-saved-full";
  std::filesystem::remove_all(folder);
  const testing::ProgramRun run =
      testing::run_program("/bin/sh",
                           {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", kProgram, "-e",
                            "baidu", "--retries", "0", "--save-pages", folder},
                           {{"http_proxy", engines.base_url()}}, "a.example|seo\na.example|web");
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.err.find("cannot write " + folder + "/baidu-1-1.html"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("the run went on without saving pages"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
  EXPECT_NE(run.out.find("http://a.example\tweb\t第2名"), std::string::npos) << run.out;
  EXPECT_EQ(engines.request_count(), 2u);
}

TEST(BatchVerdicts, ASettingsFileWithAnErrorStopsBeforeAnyRequest) {
  FixtureServer engines([](const HttpRequest&) { return HttpReply{.body = "x"}; });
  const std::string path = ::testing::TempDir() + "quillrank-bad.toml";
  testing::write_file(path, "# pacing\n[engine.baidu]\nretries = -1\n");
  const testing::ProgramRun run = testing::run_program(
      kProgram, {"--config", path}, {{"http_proxy", engines.base_url()}}, "a.example|seo");
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "quillrank-batch: " + path + ":3: retries must be 0 to 10\n");
  const testing::ProgramRun missing = testing::run_program(
      kProgram, {"--config", path + ".absent"}, {{"http_proxy", engines.base_url()}}, "a|b");
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(engines.request_count(), 0u);
}

}  // namespace
}  // namespace quillrank
