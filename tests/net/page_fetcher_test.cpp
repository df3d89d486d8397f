#include "net/page_fetcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <future>
#include <thread>

#include "net/url_parts.h"
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

// The request head, byte for byte: an extra or reordered header fails here.
std::string expected_head(const std::string& target, const std::string& host) {
  return "GET " + target +
         " HTTP/1.0\r\n"
         "Host: " +
         host +
         "\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
         "Accept: */*\r\n"
         "Pragma: no-cache\r\n"
         "Connection: close\r\n"
         "\r\n";
}

TEST(PageFetcher, SendsExactlyTheProgramsRequestHead) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.target == "/moved")
      return HttpReply{.status = 302, .headers = {{"Location", "/s?q=1"}}};
    return HttpReply{.body = "ok"};
  });
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string url;
    std::vector<std::string> targets;
  };
  const Case cases[] = {
      {server.base_url() + "/s?wd=seo", {"/s?wd=seo"}},
      {server.base_url() + "/a/../s?wd=a b\xD6\xD0&x=%41#fragment", {"/s?wd=a%20b%D6%D0&x=%41"}},
      {server.base_url() + "/moved", {"/moved", "/s?q=1"}},
  };
  for (const Case& c : cases) {
    const std::size_t before = server.request_count();
    const FetchedPage result = PageFetcher::instance().fetch(c.url);
    EXPECT_TRUE(result.ok()) << c.url;
    EXPECT_EQ(result.body.bytes, "ok");
    const std::vector<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size() - before, c.targets.size()) << c.url;
    for (std::size_t i = 0; i < c.targets.size(); ++i) {
      EXPECT_EQ(requests[before + i].raw_head, expected_head(c.targets[i], host)) << c.url;
    }
  }
}

TEST(PageFetcher, AddsAnEnginesHeadersAndUserAgentThroughItsSource) {
  FixtureServer server = serving(HttpReply{.body = "ok"});
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  const RequestOptions options{{"Accept-Language: zh-CN,zh;q=0.9", "Cookie: BAIDUID=AB:FG=1"},
                               "Mozilla/5.0 (X11; Linux x86_64)"};
  const PageSource source = PageFetcher::source();
  EXPECT_TRUE(source(PageRequest(server.base_url() + "/s?wd=1", &options), {}).ok());
  EXPECT_TRUE(source(server.base_url() + "/s?wd=2", {}).ok());
  const std::vector<HttpRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].raw_head,
            "GET /s?wd=1 HTTP/1.0\r\nHost: " + host +
                "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\nAccept: */*\r\n"
                "Pragma: no-cache\r\nConnection: close\r\n"
                "Accept-Language: zh-CN,zh;q=0.9\r\nCookie: BAIDUID=AB:FG=1\r\n\r\n");
  EXPECT_EQ(requests[1].raw_head, expected_head("/s?wd=2", host)) << "options of one request only";
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
    const FetchedPage result = PageFetcher::instance().fetch(server.base_url() + "/");
    EXPECT_EQ(result.body.bytes, c.body) << c.what;
    EXPECT_EQ(result.ok(), c.ok) << c.what;
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
  const FetchedPage landed = PageFetcher::instance().fetch(server.base_url() + "/start");
  EXPECT_TRUE(landed.ok());
  EXPECT_EQ(landed.body.bytes, "landed");
  EXPECT_FALSE(PageFetcher::instance().fetch(server.base_url() + "/ftp").ok());
  const std::size_t before = server.request_count();
  EXPECT_FALSE(PageFetcher::instance().fetch(server.base_url() + "/loop/0").ok());
  EXPECT_EQ(server.request_count() - before, 11u) << "the first request and ten redirects";
}

TEST(PageFetcher, SendsNothingForRefusedUrls) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = "x"}; });
  const std::string base = server.base_url();
  for (const std::string& url :
       {std::string(), std::string("not a url"), "http://" + std::string(300, 'h') + "/",
        base + "/" + std::string(2100, 'p'), "http://" + std::string(130, 'u') + "@127.0.0.1/"}) {
    const FetchedPage result = PageFetcher::instance().fetch(url);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.body.empty());
  }
  EXPECT_EQ(server.request_count(), 0u);
}

TEST(PageFetcher, FailsQuietlyOnARefusedPortAndOtherSchemes) {
  const int port = testing::refused_port();
  const FetchedPage refused =
      PageFetcher::instance().fetch("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(refused.body.empty());
  EXPECT_EQ(refused.status, 0);
  EXPECT_FALSE(PageFetcher::instance().fetch("ftp://127.0.0.1:" + std::to_string(port) + "/").ok());
}

TEST(PageFetcher, FailsABodyOverTheCap) {
  FixtureServer server =
      serving({.body = std::string(kMaxBodyBytes + 1, 'x'), .omit_content_length = true});
  const FetchedPage result = PageFetcher::instance().fetch(server.base_url() + "/");
  EXPECT_FALSE(result.ok());
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
    const FetchedPage result = fetched.get();
    EXPECT_FALSE(result.ok());
    if (stall_after == 3) {
      EXPECT_EQ(result.body.bytes, "012");
    }
  }
}

TEST(PageFetcher, FetchesOnManyThreadsAtOnce) {
  FixtureServer server(
      [](const HttpRequest& request) { return HttpReply{.body = request.target}; });
  std::vector<std::future<FetchedPage>> results;
  for (int i = 0; i < 8; ++i) {
    results.push_back(std::async(std::launch::async, [&server, i] {
      return PageFetcher::instance().fetch(server.base_url() + "/" + std::to_string(i));
    }));
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(results[i].get().body.bytes, "/" + std::to_string(i));
}

// A proxy that keeps the connection open after a complete page: the page costs about the
// grace, not the stall time-out, and counts as fetched.
TEST(PageFetcher, GoesThroughTheConfiguredProxyAndAsksItToClose) {
  FixtureServer proxy(
      [](const HttpRequest&) { return HttpReply{.body = "via proxy", .keep_open = true}; });
  FetchedPage result;
  const auto start = std::chrono::steady_clock::now();
  {
    testing::ScopedHttpProxy scoped(proxy.base_url());
    result = PageFetcher::instance().fetch("http://www.baidu.com/s?wd=x#f");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.body.bytes, "via proxy");
  ASSERT_EQ(proxy.request_count(), 1u);
  const HttpRequest request = proxy.requests()[0];
  EXPECT_EQ(request.target, "http://www.baidu.com/s?wd=x");
  EXPECT_EQ(request.header_count("Proxy-Connection"), 1u);
  EXPECT_EQ(request.header("Proxy-Connection"), "close");
  EXPECT_EQ(request.header("Connection"), "close");
}

// Kept open after the announced length: a body that goes on arriving within the grace is read
// to its end; one that stops there is complete.
TEST(PageFetcher, EndsAKeptOpenBodyAfterItsAnnouncedLength) {
  struct Case {
    const char* what;
    HttpReply reply;
    std::string body;
  };
  const Case cases[] = {
      {"exact length", {.body = "0123456789", .keep_open = true}, "0123456789"},
      {"longer than announced, in two parts",
       {.body = "0123456789abcdef",
        .content_length = 4,
        .stall_before_reply = 300ms,
        .stall_after_body_bytes = 8,
        .keep_open = true},
       "0123456789abcdef"},
      {"empty", {.body = "", .keep_open = true}, ""},
  };
  for (const Case& c : cases) {
    FixtureServer server = serving(c.reply);
    const FetchedPage result = PageFetcher::instance().fetch(server.base_url() + "/");
    EXPECT_TRUE(result.ok()) << c.what;
    EXPECT_EQ(result.body.bytes, c.body) << c.what;
  }
}

// A redirect that announces an empty body is no finished page, however long the next address
// takes to answer.
TEST(PageFetcher, WaitsForTheAddressARedirectLeadsTo) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.target == "/moved") {
      return HttpReply{.status = 302, .headers = {{"Location", "/late"}}, .body = ""};
    }
    return HttpReply{.body = "arrived", .stall_before_reply = 1500ms};
  });
  const FetchedPage result = PageFetcher::instance().fetch(server.base_url() + "/moved");
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body.bytes, "arrived");
}

// A redirect over a connection the server keeps open is followed once its head has been still
// for the grace, not after the stall time-out.
TEST(PageFetcher, FollowsARedirectTheServerKeepsOpenAtOnce) {
  FixtureServer server([](const HttpRequest& request) {
    if (request.target == "/landed") return HttpReply{.body = "landed", .keep_open = true};
    if (request.target == "/moved/2") {
      return HttpReply{.status = 301, .headers = {{"Location", "/landed"}}, .keep_open = true};
    }
    return HttpReply{
        .status = 302, .headers = {{"Location", "/moved/2"}}, .body = "moved", .keep_open = true};
  });
  const auto start = std::chrono::steady_clock::now();
  const FetchedPage result = PageFetcher::instance().fetch(server.base_url() + "/moved");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.body.bytes, "landed");
  EXPECT_EQ(result.final_url, server.base_url() + "/landed");
  EXPECT_EQ(result.redirects, (std::vector<std::string>{server.base_url() + "/moved/2",
                                                        server.base_url() + "/landed"}));
}

TEST(PageFetcher, AnswersThatAreNoPageFail) {
  const HttpReply replies[] = {{.status = 204, .reason = "No Content"},
                               {.status = 302, .reason = "Found", .body = "moved"},
                               {.status = 301, .reason = "Moved", .omit_content_length = true}};
  for (const HttpReply& reply : replies) {
    FixtureServer server = serving(reply);
    EXPECT_FALSE(PageFetcher::instance().fetch(server.base_url() + "/").ok()) << reply.status;
  }
}

// From a public address, a redirect to a loopback or private IP literal is not followed; from
// such an address it is, and so is any redirect that keeps to host names.
TEST(PageFetcher, DoesNotFollowPublicAnswersIntoPrivateNetworks) {
  FixtureServer target([](const HttpRequest&) { return HttpReply{.body = "inside"}; });
  const std::string inside = "http://127.0.0.1:" + std::to_string(target.port()) + "/x";
  FixtureServer public_site([](const HttpRequest& request) {
    const std::string url = request.url();
    if (url.starts_with("http://public.example/to/")) {
      return HttpReply{.status = 302, .headers = {{"Location", url.substr(25)}}};
    }
    if (url == "http://public.example/relative") {
      return HttpReply{.status = 302, .headers = {{"Location", "/landed"}}};
    }
    return HttpReply{.body = "public " + url};
  });
  const std::string route = public_site.route();
  for (const std::string& location :
       {inside, std::string("http://10.1.2.3/"), std::string("http://[::1]:1/"),
        std::string("http://2130706433/"), std::string("http://192.168.0.1/")}) {
    const FetchedPage result =
        PageFetcher::instance().fetch("http://public.example/to/" + location, {}, route);
    EXPECT_FALSE(result.ok()) << location;
    EXPECT_EQ(result.transport, Transport::refused_redirect) << location;
  }
  EXPECT_EQ(public_site.request_count(), 5u) << "no redirect was followed";
  const FetchedPage relative =
      PageFetcher::instance().fetch("http://public.example/relative", {}, route);
  EXPECT_EQ(relative.body.bytes, "public http://public.example/landed");
  EXPECT_EQ(relative.redirects, std::vector<std::string>{"http://public.example/landed"});
  EXPECT_EQ(relative.final_url, "http://public.example/landed");
  EXPECT_EQ(target.request_count(), 0u);
}

TEST(IsPrivateAddress, KnowsLoopbackPrivateAndLinkAddresses) {
  const std::pair<const char*, bool> cases[] = {
      {"127.0.0.1", true},       {"127.1", true},
      {"2130706433", true},      {"0x7f.0.0.1", true},
      {"10.0.0.1", true},        {"172.16.0.1", true},
      {"172.31.255.255", true},  {"172.32.0.1", false},
      {"192.168.1.1", true},     {"169.254.169.254", true},
      {"100.64.0.1", true},      {"0.0.0.0", true},
      {"8.8.8.8", false},        {"::1", true},
      {"[::1]", true},           {"::", true},
      {"fd00::1", true},         {"fe80::1", true},
      {"::ffff:10.0.0.1", true}, {"::ffff:8.8.8.8", false},
      {"2001:db8::1", false},    {"localhost", false},
      {"www.baidu.com", false},  {"", false}};
  for (const auto& [host, expected] : cases) EXPECT_EQ(is_private_address(host), expected) << host;
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
