#include "net/page_fetcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/fixture_server.h"
#include "support/proxy_env.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;
using namespace std::chrono_literals;

FixtureServer serving(HttpReply reply) {
  return FixtureServer([reply](const HttpRequest&) { return reply; });
}

TEST(PageFetcher, SendsTheProgramsRequestShape) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = "ok"}; });
  const FetchResult result =
      PageFetcher::instance().fetch(server.base_url() + "/a/../s?wd=a b\xD6\xD0&x=%41#fragment");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.body.bytes, "ok");
  ASSERT_EQ(server.request_count(), 1u);
  const HttpRequest request = server.requests()[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/s?wd=a%20b%D6%D0&x=%41");
  EXPECT_EQ(request.version, "HTTP/1.0");
  EXPECT_EQ(request.header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(request.header_count("Accept"), 1u);
  EXPECT_EQ(request.header("Accept"), "*/*");
  EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(request.header("Pragma"), "no-cache");
}

TEST(PageFetcher, ReadsTheWholeBodyWhateverContentLengthSays) {
  struct Case {
    const char* what;
    HttpReply reply;
    std::string body;
    bool ok;
  };
  const std::string big(200000, 'x');
  const Case cases[] = {
      {"announced length", {.body = "hello"}, "hello", true},
      {"no length", {.body = "hello", .omit_content_length = true}, "hello", true},
      {"length shorter than the body",
       {.body = "hello world", .content_length = 5},
       "hello world",
       true},
      {"length longer than the body: cut off",
       {.body = "hello", .content_length = 500},
       "hello",
       false},
      {"zero length announced", {.body = "hello", .content_length = 0}, "hello", true},
      {"zero byte inside", {.body = std::string("ab\0cd", 5)}, std::string("ab\0cd", 5), true},
      {"200000 bytes", {.body = big}, big, true},
      {"200000 bytes unannounced", {.body = big, .omit_content_length = true}, big, true},
      {"404 page",
       {.status = 404, .reason = "Not Found", .body = "<html>gone</html>"},
       "<html>gone</html>",
       false},
      {"closed in mid-body", {.body = "0123456789", .close_after_body_bytes = 4}, "0123", false},
  };
  for (const Case& c : cases) {
    FixtureServer server = serving(c.reply);
    const FetchResult result = PageFetcher::instance().fetch(server.base_url() + "/");
    EXPECT_EQ(result.body.bytes, c.body) << c.what;
    EXPECT_EQ(result.ok, c.ok) << c.what;
  }
}

TEST(PageFetcher, FollowsRedirectsToHttpOnlyAndAtMostTen) {
  FixtureServer server([](const HttpRequest& request) {
    const std::string& target = request.target;
    if (target == "/start") return HttpReply{.status = 302, .headers = {{"Location", "/end"}}};
    if (target == "/end") return HttpReply{.body = "landed"};
    if (target == "/ftp") {
      return HttpReply{.status = 302, .headers = {{"Location", "ftp://127.0.0.1/x"}}};
    }
    // /loop/N redirects to /loop/N+1 forever.
    const int n = std::stoi(target.substr(6));
    return HttpReply{.status = 302, .headers = {{"Location", "/loop/" + std::to_string(n + 1)}}};
  });
  const FetchResult landed = PageFetcher::instance().fetch(server.base_url() + "/start");
  EXPECT_TRUE(landed.ok);
  EXPECT_EQ(landed.body.bytes, "landed");
  EXPECT_FALSE(PageFetcher::instance().fetch(server.base_url() + "/ftp").ok);
  const std::size_t before = server.request_count();
  EXPECT_FALSE(PageFetcher::instance().fetch(server.base_url() + "/loop/0").ok);
  EXPECT_EQ(server.request_count() - before, 11u) << "the first request and ten redirects";
}

TEST(PageFetcher, SendsNothingForRefusedUrls) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = "x"}; });
  const std::string base = server.base_url();
  for (const std::string& url :
       {std::string(), std::string("not a url"), "http://" + std::string(300, 'h') + "/",
        base + "/" + std::string(2100, 'p'), "http://" + std::string(130, 'u') + "@127.0.0.1/"}) {
    const FetchResult result = PageFetcher::instance().fetch(url);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.body.empty());
  }
  EXPECT_EQ(server.request_count(), 0u);
}

TEST(PageFetcher, FailsQuietlyOnARefusedPortAndOtherSchemes) {
  const int port = testing::refused_port();
  const FetchResult refused =
      PageFetcher::instance().fetch("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.body.empty());
  EXPECT_EQ(refused.status, 0);
  EXPECT_FALSE(PageFetcher::instance().fetch("ftp://127.0.0.1:" + std::to_string(port) + "/").ok);
}

TEST(PageFetcher, FailsABodyOverTheCap) {
  FixtureServer server =
      serving({.body = std::string(kMaxBodyBytes + 1, 'x'), .omit_content_length = true});
  const FetchResult result = PageFetcher::instance().fetch(server.base_url() + "/");
  EXPECT_FALSE(result.ok);
  EXPECT_LE(result.body.size(), kMaxBodyBytes);
}

// A stop request ends a transfer that would otherwise wait for a minute.
TEST(PageFetcher, StopsAStalledTransferAtOnce) {
  for (const std::size_t stall_after : {SIZE_MAX, std::size_t{3}}) {
    FixtureServer server = serving(
        {.body = "0123456789", .stall_before_reply = 60s, .stall_after_body_bytes = stall_after});
    std::stop_source stop;
    auto fetched = std::async(std::launch::async, [&] {
      return PageFetcher::instance().fetch(server.base_url() + "/", stop.get_token());
    });
    while (server.request_count() == 0) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    stop.request_stop();
    ASSERT_EQ(fetched.wait_for(10s), std::future_status::ready) << "the stop did not end it";
    const FetchResult result = fetched.get();
    EXPECT_FALSE(result.ok);
    if (stall_after == 3) {
      EXPECT_EQ(result.body.bytes, "012");
    }
  }
}

TEST(PageFetcher, FetchesOnManyThreadsAtOnce) {
  FixtureServer server(
      [](const HttpRequest& request) { return HttpReply{.body = request.target}; });
  std::vector<std::future<FetchResult>> results;
  for (int i = 0; i < 8; ++i) {
    results.push_back(std::async(std::launch::async, [&server, i] {
      return PageFetcher::instance().fetch(server.base_url() + "/" + std::to_string(i));
    }));
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(results[i].get().body.bytes, "/" + std::to_string(i));
}

TEST(PageFetcher, GoesThroughTheConfiguredProxy) {
  FixtureServer proxy([](const HttpRequest&) { return HttpReply{.body = "via proxy"}; });
  FetchResult result;
  {
    testing::ScopedHttpProxy scoped(proxy.base_url());
    result = PageFetcher::instance().fetch("http://www.baidu.com/s?wd=x#f");
  }
  EXPECT_EQ(result.body.bytes, "via proxy");
  ASSERT_EQ(proxy.request_count(), 1u);
  EXPECT_EQ(proxy.requests()[0].target, "http://www.baidu.com/s?wd=x");
}

TEST(ReadChunkSize, FollowsContentLength) {
  struct Case {
    std::optional<std::string_view> header;
    std::size_t chunk;
  };
  const Case cases[] = {{"500", 501},
                        {std::nullopt, 10240},
                        {"0", 10240},
                        {"-5", 10240},
                        {"abc", 10240},
                        {"200000", 102400},
                        {"102399", 102400},
                        {"102398", 102399},
                        {" 12", 13},
                        {"+7x", 8},
                        {std::string_view("00000000000000000000000000000001"), 10240}};
  for (const Case& c : cases)
    EXPECT_EQ(read_chunk_size(c.header), c.chunk) << c.header.value_or("none");
}

}  // namespace
}  // namespace quillrank
