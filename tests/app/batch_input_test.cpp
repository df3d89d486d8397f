// quillrank-batch as a built program, reading keyword lists as people have them: our own GBK
// exports, UTF-8 and UTF-16 files, LF line ends, site entries with multi-line titles, and
// inputs that are broken or far too large.
#include <gtest/gtest.h>

#include <algorithm>
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
const std::string kHeader = "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n";

// Baidu has shop.example third on every page; the home page of lf.example has a title written
// over several lines.
FixtureServer sites() {
  return FixtureServer([](const HttpRequest& request) {
    if (request.target.starts_with("http://lf.example")) {
      return HttpReply{.body = "<meta charset=gb2312><title>\r\n  Foo-Bar\r\n</title>"};
    }
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 2)};
  });
}

testing::ProgramRun rank_on_baidu(const FixtureServer& server, const std::string& input) {
  return testing::run_program(kProgram, {"-e", "baidu", "-"}, {{"http_proxy", server.base_url()}},
                              input);
}

TEST(BatchInput, ReadsEachKindOfListAsTheWindowDoes) {
  struct Case {
    const char* what;
    std::string input;
    std::string rows;
  };
  const Case cases[] = {
      {"our own GBK export of 小说, valid UTF-8 by chance", "shop.example|\xD0\xA1\xCB\xB5",
       "http://shop.example\t小说\t第3名\t未启动\t未启动\t未启动\n"},
      {"UTF-8 without a mark", "shop.example|中文",
       "http://shop.example\t中文\t第3名\t未启动\t未启动\t未启动\n"},
      {"UTF-16 LE with a mark", std::string("\xFF\xFEq\0|\0\x2D\x4E", 8),
       "http://q\t中\t排在300后\t未启动\t未启动\t未启动\n"},
      {"LF line ends", "shop.example|k1\nshop.example|k2\n",
       "http://shop.example\tk1\t第3名\t未启动\t未启动\t未启动\n"
       "http://shop.example\tk2\t第3名\t未启动\t未启动\t未启动\n"},
      {"lone CR line ends", "shop.example|k1\rshop.example|k2",
       "http://shop.example\tk1\t第3名\t未启动\t未启动\t未启动\n"
       "http://shop.example\tk2\t第3名\t未启动\t未启动\t未启动\n"},
      {"a site entry whose title spans lines", "[lf.example]\nshop.example|k",
       "http://lf.example\tFoo\t排在300后\t未启动\t未启动\t未启动\n"
       "http://lf.example\tBar\t排在300后\t未启动\t未启动\t未启动\n"
       "http://shop.example\tk\t第3名\t未启动\t未启动\t未启动\n"},
  };
  FixtureServer server = sites();
  for (const Case& c : cases) {
    const testing::ProgramRun run = rank_on_baidu(server, c.input);
    EXPECT_EQ(run.exit_code, 0) << c.what << ": " << run.err;
    EXPECT_EQ(run.err, "") << c.what;
    EXPECT_EQ(run.out, kHeader + c.rows) << c.what;
  }
  for (const HttpRequest& request : server.requests()) {
    EXPECT_EQ(request.target.find("lf.example&"), std::string::npos) << "no keyword from a title";
  }
}

TEST(BatchInput, SaysWhereAZeroByteEndedTheListAndHowMuchWasUnreadable) {
  FixtureServer server = sites();
  const testing::ProgramRun zero = rank_on_baidu(server, std::string("shop.example|a\0b|c", 18));
  EXPECT_EQ(zero.exit_code, 0);
  EXPECT_EQ(zero.out, kHeader + "http://shop.example\ta\t第3名\t未启动\t未启动\t未启动\n");
  EXPECT_NE(zero.err.find("zero byte"), std::string::npos) << zero.err;

  const testing::ProgramRun mojibake = rank_on_baidu(server, "shop.example|\xFF\xFF\x81 x");
  EXPECT_EQ(mojibake.exit_code, 0);
  EXPECT_EQ(mojibake.out, kHeader + "http://shop.example\t??? x\t第3名\t未启动\t未启动\t未启动\n");
  EXPECT_NE(mojibake.err.find(": 3 character(s) of the keyword list are neither valid UTF-8 nor "
                              "valid GBK"),
            std::string::npos)
      << mojibake.err;
  EXPECT_EQ(std::count(mojibake.err.begin(), mojibake.err.end(), '\n'), 1);
}

TEST(BatchInput, RefusesAListLargerThan64MiBWithStatusTwo) {
  const std::string large = ::testing::TempDir() + "quillrank-large.txt";
  testing::write_file(large, "");
  std::filesystem::resize_file(large, (std::uintmax_t{64} << 20) + 1);  // sparse: no disk used
  const std::string exact = ::testing::TempDir() + "quillrank-exact.txt";
  testing::write_file(exact, "");
  std::filesystem::resize_file(exact, std::uintmax_t{64} << 20);
  for (const std::string& input : {large, std::string("/dev/zero")}) {
    const testing::ProgramRun run = testing::run_program(kProgram, {"-e", "baidu", input});
    EXPECT_EQ(run.exit_code, 2) << input << ": " << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("larger than 64 MiB"), std::string::npos) << run.err;
  }
  // Exactly the cap is read (all zero bytes: an empty list, said so).
  const testing::ProgramRun run = testing::run_program(kProgram, {"-e", "baidu", exact});
  EXPECT_NE(run.exit_code, 2) << run.err;
  std::filesystem::remove(large);
  std::filesystem::remove(exact);
}

}  // namespace
}  // namespace quillrank
