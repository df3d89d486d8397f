// quillrank-batch --check end to end, the engines played by a fixture server through the proxy:
// a line per chosen engine, and exit 0 only when every engine gave a result page.
#include <gtest/gtest.h>

#include "engines/builtin_profiles.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;

TEST(BatchCheck, PrintsALinePerEngineAndExitsOneUnlessEveryEngineGaveAResultPage) {
  FixtureServer engines([](const HttpRequest& request) {
    if (request.header("Host") == kBaidu.host) {
      return HttpReply{.body = testing::engine_result_page(kBaidu, "http://a.example/", 0)};
    }
    return HttpReply{.status = 403, .reason = "Forbidden", .body = "no"};
  });
  const std::map<std::string, std::string> proxy{{"http_proxy", engines.base_url()}};
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::vector<std::string> line_starts;
    std::string target;  // of the first request
  };
  const Case cases[] = {
      {{"-e", "baidu,sogou", "--check-keyword", "seo"},
       1,
       {"Baidu: result, HTTP 200, 10 result links (http://a.example/, http://filler1.example/, "
        "http://filler2.example/), ",
        "Sogou: blocked (HTTP 403：引擎拒绝了请求), HTTP 403, 0 result links, "},
       "/s?wd=seo&pn=0&rn=100"},
      {{"-e", "baidu"},
       0,
       {"Baidu: result, HTTP 200, 10 result links"},
       "/s?wd=%CC%EC%C6%F8&pn=0&rn=100"},  // 天气 in GBK, the classic profile's encoding
  };
  for (const Case& c : cases) {
    const std::size_t before = engines.request_count();
    std::vector<std::string> args{"--check", "--profiles", "classic"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ProgramRun run = testing::run_program(kProgram, args, proxy);
    EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos;
         start = end + 1) {
      lines.push_back(run.out.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), c.line_starts.size()) << run.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].starts_with(c.line_starts[i])) << lines[i];
      EXPECT_TRUE(lines[i].ends_with(" s, http://www." + std::string(i ? "sogou" : "baidu") +
                                     ".com" + (i ? "/web?query=seo&page=1&num=100" : c.target)))
          << lines[i];
    }
    ASSERT_GT(engines.request_count(), before);
    const std::vector<HttpRequest> requests = engines.requests();
    bool asked = false;
    for (std::size_t i = before; i < requests.size(); ++i) {
      asked = asked || requests[i].url() == "http://www.baidu.com" + c.target;
    }
    EXPECT_TRUE(asked) << c.target;
  }
}

}  // namespace
}  // namespace quillrank
