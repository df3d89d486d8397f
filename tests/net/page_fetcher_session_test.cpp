// One engine's session client at a fixture server: the request a current profile sends, byte for
// byte; compressed bodies and compression bombs; one connection for the pages of a run; and the
// hostile servers' cases over a kept connection.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "engines/builtin_profiles.h"
#include "engines/engine_worker.h"
#include "net/cookie_jar.h"
#include "net/page_fetcher.h"
#include "support/fixture_server.h"
#include "support/gzip.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;
using namespace std::chrono_literals;

PageSource session_at(const FixtureServer& server) {
  return PageFetcher::session_source({.connect_to = server.route()});
}

FetchedPage get(const PageSource& source, const std::string& url,
                const RequestOptions& options = {}, std::stop_token stop = {}) {
  return source(PageRequest(url, &options), stop);
}

TEST(SessionClient, SendsTheCurrentProfilesRequestHeadByteForByte) {
  FixtureServer server([](const HttpRequest&) { return HttpReply{.body = "ok"}; });
  RequestOptions options = request_options(kCurrentBaidu);
  options.referer = "https://www.baidu.com/";
  // Plain http here, so HTTP/1.1: HTTP/2 is asked for over TLS only.
  EXPECT_TRUE(
      get(session_at(server), "http://www.baidu.com/s?ie=utf-8&wd=a%20b&pn=0", options).ok());
  ASSERT_EQ(server.request_count(), 1u);
  EXPECT_EQ(server.requests()[0].raw_head,
            "GET /s?ie=utf-8&wd=a%20b&pn=0 HTTP/1.1\r\n"
            "Host: www.baidu.com\r\n"
            "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
            "like Gecko) Chrome/143.0.0.0 Safari/537.36\r\n"
            "Accept-Encoding: gzip, deflate, br, zstd\r\n"
            "Referer: https://www.baidu.com/\r\n"
            "Connection: keep-alive\r\n"
            "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
            "image/apng,*/*;q=0.8,application/signed-exchange;v=b3;q=0.7\r\n"
            "Accept-Language: zh-CN,zh;q=0.9\r\n"
            "Sec-Fetch-Dest: document\r\n"
            "Sec-Fetch-Mode: navigate\r\n"
            "Sec-Fetch-Site: same-origin\r\n"
            "Sec-Fetch-User: ?1\r\n"
            "Upgrade-Insecure-Requests: 1\r\n"
            "sec-ch-ua: \"Google Chrome\";v=\"143\", \"Chromium\";v=\"143\", \"Not "
            "A(Brand\";v=\"24\"\r\n"
            "sec-ch-ua-mobile: ?0\r\n"
            "sec-ch-ua-platform: \"Windows\"\r\n"
            "\r\n");
}

TEST(SessionClient, AsksOnlyForEncodingsItCanDecode) {
  const std::pair<std::string_view, std::string> cases[] = {
      {"gzip, deflate, br, zstd", "gzip, deflate, br, zstd"},
      {" gzip ,compress,,x-gzip, br", "gzip, br"},
      {"identity", "identity"},
      {"", ""},
  };
  for (const auto& [wanted, sent] : cases) EXPECT_EQ(decodable_encodings(wanted), sent) << wanted;
}

// A compressed page is decoded; one that decodes past the cap fails as too long without ever
// holding more than the cap.
TEST(SessionClient, DecodesCompressedBodiesWithinTheCap) {
  const std::string page = "<html>" + std::string(100000, 'r') + "</html>";
  const std::string bomb = testing::gzip(std::string(kMaxBodyBytes + (1u << 20), '\0'));
  ASSERT_LT(bomb.size(), 64u * 1024);
  struct Case {
    const char* what;
    std::string body;
    bool encoded;
    bool ok;
    Transport transport;
  };
  const Case cases[] = {
      {"gzip page", testing::gzip(page), true, true, Transport::complete},
      {"plain page", page, false, true, Transport::complete},
      {"bomb", bomb, true, false, Transport::too_long},
  };
  for (const Case& c : cases) {
    FixtureServer server([&c](const HttpRequest&) {
      HttpReply reply{.body = c.body};
      if (c.encoded) reply.headers = {{"Content-Encoding", "gzip"}};
      return reply;
    });
    const FetchedPage fetched =
        get(session_at(server), server.base_url() + "/", request_options(kCurrentBaidu));
    EXPECT_EQ(fetched.ok(), c.ok) << c.what;
    EXPECT_EQ(fetched.transport, c.transport) << c.what;
    if (c.ok) {
      EXPECT_EQ(fetched.body.bytes, page) << c.what;
    }
    EXPECT_LE(fetched.body.size(), kMaxBodyBytes) << c.what;
  }
}

TEST(SessionClient, AsksForAllPagesOfARunOverOneKeptConnection) {
  FixtureServer server([](const HttpRequest& request) {
    return HttpReply{.body = request.target, .keep_open = true};
  });
  const PageSource source = session_at(server);
  const auto start = std::chrono::steady_clock::now();
  for (int page = 1; page <= 5; ++page) {
    const std::string target = "/s?pn=" + std::to_string(page);
    EXPECT_EQ(get(source, server.base_url() + target).body.bytes, target);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "no page waited for a close";
  for (const HttpRequest& request : server.requests()) EXPECT_EQ(request.connection, 1);

  // A lone fetch closes its connection: each its own.
  FixtureServer lone([](const HttpRequest&) { return HttpReply{.body = "x"}; });
  const PageSource fresh = PageFetcher::source(lone.route());
  for (int page = 1; page <= 2; ++page) get(fresh, "http://www.baidu.com/");
  EXPECT_EQ(lone.requests().at(1).connection, 2);
}

// The engine's cookie file is the one store its HTTP client and its browser pages share: a
// cookie another writer put in the file (a verification passed in the browser) goes with the
// session's next page, and what the server sets is written back beside it.
TEST(SessionClient, TakesCookiesWrittenToTheEngineFileByAnotherWriter) {
  FixtureServer server([](const HttpRequest& request) {
    HttpReply reply{.body = request.header("Cookie"), .keep_open = true};
    if (request.target == "/first") reply.headers = {{"Set-Cookie", "BAIDUID=server; Path=/"}};
    return reply;
  });
  const std::string file = ::testing::TempDir() + "quillrank-session-cookies/baidu.txt";
  std::filesystem::remove_all(std::filesystem::path(file).parent_path());
  const PageSource source =
      PageFetcher::session_source({.cookie_file = file, .connect_to = server.route()});
  EXPECT_EQ(get(source, "http://www.baidu.com/first").body.bytes, "");
  EXPECT_EQ(get(source, "http://www.baidu.com/second").body.bytes, "BAIDUID=server")
      << "the file unchanged by others: the session's own store";

  std::vector<std::string> lines = read_cookie_file(file);
  lines.push_back("www.baidu.com\tFALSE\t/\tFALSE\t0\tpassed\tyes");
  ASSERT_TRUE(write_cookie_file(file, lines));
  const std::string sent = get(source, "http://www.baidu.com/third").body.bytes;
  EXPECT_NE(sent.find("BAIDUID=server"), std::string::npos) << sent;
  EXPECT_NE(sent.find("passed=yes"), std::string::npos) << sent;
  const auto kept = read_cookie_file(file);
  EXPECT_EQ(kept.size(), 2u) << "the session writes back both";
}

// What a keep-alive server does wrong neither stalls a page nor leaks into the next one.
TEST(SessionClient, HostileServersOverAKeptConnection) {
  struct Case {
    const char* what;
    HttpReply first;
    std::string body;
    Transport transport;
  };
  const Case cases[] = {
      {"a redirect, kept open",
       {.status = 302, .headers = {{"Location", "/landed"}}, .keep_open = true},
       "landed",
       Transport::complete},
      {"a redirect without a length, kept open",
       {.status = 302,
        .headers = {{"Location", "/landed"}},
        .omit_content_length = true,
        .keep_open = true},
       "landed",
       Transport::complete},
      {"more bytes than announced",
       {.body = "hello, and more", .content_length = 5, .keep_open = true},
       "hello",
       Transport::complete},
      {"closed in mid-body",
       {.body = "0123456789", .close_after_body_bytes = 4},
       "0123",
       Transport::cut_off},
  };
  for (const Case& c : cases) {
    FixtureServer server([&c](const HttpRequest& request) {
      if (request.target == "/landed") return HttpReply{.body = "landed", .keep_open = true};
      if (request.target == "/next") return HttpReply{.body = "next page", .keep_open = true};
      return c.first;
    });
    const PageSource source = session_at(server);
    const auto start = std::chrono::steady_clock::now();
    const FetchedPage first = get(source, server.base_url() + "/first");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << c.what;
    EXPECT_EQ(first.body.bytes, c.body) << c.what;
    EXPECT_EQ(first.transport, c.transport) << c.what;
    EXPECT_EQ(get(source, server.base_url() + "/next").body.bytes, "next page") << c.what;
  }
}

TEST(SessionClient, StopsAStalledPageAtOnce) {
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = "late", .stall_before_reply = 60s, .keep_open = true};
  });
  const PageSource source = session_at(server);
  std::stop_source stop;
  auto fetched = std::async(std::launch::async, [&] {
    return get(source, server.base_url() + "/", {}, stop.get_token());
  });
  while (server.request_count() == 0) std::this_thread::sleep_for(1ms);
  stop.request_stop();
  ASSERT_EQ(fetched.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(fetched.get().transport, Transport::stopped);
}

}  // namespace
}  // namespace quillrank
