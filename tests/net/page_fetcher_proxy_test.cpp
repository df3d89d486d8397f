// A client with a proxy of its own: every request through it, whatever the environment says,
// its credentials sent to the proxy and named in no failure.
#include <gtest/gtest.h>

#include <string>

#include "net/page_fetcher.h"
#include "support/fixture_server.h"
#include "support/proxy_env.h"
#include "support/socks5_server.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;
using testing::Socks5Server;

FixtureServer answering(std::string body) {
  return FixtureServer([body](const HttpRequest&) { return HttpReply{.body = body}; });
}

std::string loopback(int port) { return "127.0.0.1:" + std::to_string(port); }

// The lone fetch and the session, each made with `proxy`, fetching `url` once.
std::vector<FetchedPage> fetch_both_ways(const std::string& url, const std::string& proxy) {
  PageSource lone = PageFetcher::source({}, proxy);
  PageSource session = PageFetcher::session_source({.proxy = proxy});
  return {lone(PageRequest(url), {}), session(PageRequest(url), {})};
}

TEST(PageFetcherProxy, SendsEveryRequestThroughAnHttpProxyWithItsCredentialsOverTheSystemProxy) {
  FixtureServer proxy = answering("through the pool");
  FixtureServer system_proxy = answering("through the system proxy");
  testing::ScopedHttpProxy scoped(system_proxy.base_url());
  testing::ScopedEnvironment no_proxy("no_proxy", "*");
  for (const FetchedPage& page : fetch_both_ways("http://www.baidu.com/s?wd=seo",
                                                 "http://bob:hunter2@" + loopback(proxy.port()))) {
    EXPECT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(page.body.bytes, "through the pool");
  }
  ASSERT_EQ(proxy.request_count(), 2u);
  for (const HttpRequest& request : proxy.requests()) {
    EXPECT_EQ(request.target, "http://www.baidu.com/s?wd=seo");
    EXPECT_EQ(request.header("Proxy-Authorization"), "Basic Ym9iOmh1bnRlcjI=");
  }
  EXPECT_EQ(system_proxy.request_count(), 0u);
}

TEST(PageFetcherProxy, ConnectsThroughSocks5ResolvingNamesAtTheProxyForSocks5h) {
  FixtureServer target = answering("relayed");
  Socks5Server open(target.port());
  const std::string page_url = "http://" + loopback(target.port()) + "/s?wd=a";
  for (const FetchedPage& page : fetch_both_ways(page_url, "socks5://" + loopback(open.port()))) {
    EXPECT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(page.body.bytes, "relayed");
  }
  ASSERT_EQ(open.connects().size(), 2u);
  for (const testing::SocksConnect& asked : open.connects()) {
    EXPECT_EQ(asked.host, "127.0.0.1");
    EXPECT_FALSE(asked.by_name);
    EXPECT_EQ(asked.port, target.port());
    EXPECT_EQ(asked.user, "");
  }

  // The name goes to the proxy unresolved; the proxy here relays it to the target.
  Socks5Server login(target.port(), "bob", "hunter2");
  for (const FetchedPage& page : fetch_both_ways(
           "http://www.baidu.com/s?wd=b", "socks5h://bob:hunter2@" + loopback(login.port()))) {
    EXPECT_TRUE(page.ok()) << page.error;
  }
  ASSERT_EQ(login.connects().size(), 2u);
  for (const testing::SocksConnect& asked : login.connects()) {
    EXPECT_EQ(asked.host, "www.baidu.com");
    EXPECT_TRUE(asked.by_name);
    EXPECT_EQ(asked.port, 80);
    EXPECT_EQ(asked.user, "bob");
    EXPECT_EQ(asked.password, "hunter2");
  }
  EXPECT_EQ(target.requests().back().header("Host"), "www.baidu.com");
  EXPECT_EQ(target.requests().back().target, "/s?wd=b");

  // A wrong password: the proxy refuses it; the failure names the member alone.
  for (const FetchedPage& page : fetch_both_ways(
           "http://www.baidu.com/", "socks5h://bob:hunter3@" + loopback(login.port()))) {
    EXPECT_EQ(page.transport, Transport::failed);
    EXPECT_TRUE(page.error.ends_with("(through socks5h://" + loopback(login.port()) + ")"))
        << page.error;
    EXPECT_EQ(page.error.find("hunter3"), std::string::npos) << page.error;
  }
}

TEST(PageFetcherProxy, ARefusedOrUnreadableProxyFailsNamingOnlyItsHostAndPort) {
  const std::string refused = loopback(testing::refused_port());
  for (const std::string scheme : {"http", "socks5", "socks5h"}) {
    // A loopback page: socks5 resolves the page's name here, and no name may leave the machine.
    for (const FetchedPage& page :
         fetch_both_ways("http://127.0.0.1:9/", scheme + "://bob:hunter2@" + refused)) {
      EXPECT_EQ(page.transport, Transport::failed) << scheme;
      EXPECT_EQ(page.status, 0);
      EXPECT_TRUE(page.error.ends_with("(through " + scheme + "://" + refused + ")")) << page.error;
      EXPECT_EQ(page.error.find("hunter2"), std::string::npos) << page.error;
    }
  }
  for (const FetchedPage& page :
       fetch_both_ways("http://www.baidu.com/", "socks4://bob:hunter2@" + refused)) {
    EXPECT_EQ(page.transport, Transport::not_sent);
    EXPECT_EQ(page.error, "proxy 'socks4://bob:****@" + refused +
                              "': scheme must be http, https, socks5 or socks5h");
  }
}

TEST(PageFetcherProxy, ATestsRouteWinsOverTheProxy) {
  FixtureServer server = answering("routed");
  const std::string refused = "http://" + loopback(testing::refused_port());
  const FetchedPage lone =
      PageFetcher::source(server.route(), refused)(PageRequest("http://www.baidu.com/"), {});
  const FetchedPage session = PageFetcher::session_source(
      {.connect_to = server.route(), .proxy = refused})(PageRequest("http://www.baidu.com/"), {});
  for (const FetchedPage& page : {lone, session}) {
    EXPECT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(page.body.bytes, "routed");
  }
  EXPECT_EQ(server.requests().front().target, "/");
}

}  // namespace
}  // namespace quillrank
