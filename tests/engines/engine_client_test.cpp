// An engine's worker over the live client its profile asks for, at a fixture server that plays
// Baidu's current pages: the warm-up visit, the Referer chain, one connection, and the cookies
// kept for the run and between runs (or not at all).
#include "engines/engine_client.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engines/builtin_profiles.h"
#include "engines/engine_worker.h"
#include "support/fixture_server.h"
#include "support/gzip.h"
#include "support/worker_rows.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

// The current Baidu profile over plain http (the fixture server speaks no TLS), ten results a
// page, three pages.
EngineProfile baidu_over_http() {
  EngineProfile profile = kCurrentBaidu;
  profile.scheme = "http";
  profile.home_page = "http://www.baidu.com/";
  profile.page_size = 10;
  profile.query_tail = "&rn=10";
  profile.page_count = 3;
  return profile;
}

// The main column of a result page: cards numbered from `first`, card `site_at` the site's.
std::string main_column(int first, int site_at) {
  std::string page = "<div id=\"content_left\">";
  for (int id = first; id < first + 10; ++id) {
    page +=
        "<div class=\"result c-container\" id=\"" + std::to_string(id) + "\" mu=\"" +
        (id == site_at ? "https://shop.example/" : "https://o" + std::to_string(id) + ".example/") +
        "\"></div>";
  }
  return page + "</div>";
}

// Home page: a cookie; result pages: another, and ten cards from pn + 1, gzip-compressed when
// asked for; the site is card 24.
HttpReply baidu(const HttpRequest& request) {
  if (request.target == "/") {
    return {.headers = {{"Set-Cookie", "BAIDUID=home; Path=/; Max-Age=86400"}},
            .body = "<html>home</html>",
            .keep_open = true};
  }
  const std::size_t pn = request.target.find("&pn=");
  const int first = std::stoi(request.target.substr(pn + 4)) + 1;
  HttpReply reply{.headers = {{"Set-Cookie", "H_PS=" + std::to_string(first) + "; Path=/"}},
                  .body = main_column(first, 24),
                  .keep_open = true};
  if (request.header("Accept-Encoding").find("gzip") != std::string::npos) {
    reply.body = testing::gzip(reply.body);
    reply.headers.emplace_back("Content-Encoding", "gzip");
  }
  return reply;
}

std::string rank_once(const EngineProfile& profile, const FixtureServer& server,
                      const std::string& cookie_folder) {
  testing::WorkerRows table;
  table.add("shop.example", "seo");
  const PageSource source = engine_page_source(profile, "baidu", cookie_folder, server.route());
  table.run(profile, source, {.retries = 0}, {});
  return gbk_to_utf8(table.text(0));
}

std::string fresh_folder(const std::string& name) {
  const std::string folder = ::testing::TempDir() + "quillrank-cookies-" + name;
  std::filesystem::remove_all(folder);
  return folder;
}

TEST(EngineClient, AReturningVisitorWithReferersCookiesAndOneConnection) {
  FixtureServer server(baidu);
  const std::string folder = fresh_folder("kept");
  const EngineProfile profile = baidu_over_http();
  EXPECT_EQ(rank_once(profile, server, folder), "第24名") << "from compressed pages";

  const std::vector<HttpRequest> first_run = server.requests();
  ASSERT_EQ(first_run.size(), 4u) << "the warm-up visit and three pages";
  const std::string page1 = "http://www.baidu.com/s?ie=utf-8&wd=seo&pn=0&rn=10";
  const std::string page2 = "http://www.baidu.com/s?ie=utf-8&wd=seo&pn=10&rn=10";
  struct Expected {
    std::string target, referer, cookie;
  };
  const Expected expected[] = {
      {"/", "", ""},
      {"/s?ie=utf-8&wd=seo&pn=0&rn=10", "http://www.baidu.com/", "BAIDUID=home"},
      {"/s?ie=utf-8&wd=seo&pn=10&rn=10", page1, "BAIDUID=home; H_PS=1"},
      {"/s?ie=utf-8&wd=seo&pn=20&rn=10", page2, "BAIDUID=home; H_PS=11"},
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(first_run[i].target, expected[i].target) << i;
    EXPECT_EQ(first_run[i].header("Referer"), expected[i].referer) << i;
    EXPECT_EQ(first_run[i].header("Cookie"), expected[i].cookie) << i;
    EXPECT_EQ(first_run[i].connection, 1) << i;
  }

  // The cookies are the user's alone, and the next run brings them back: no warm-up.
  const std::string file = folder + "/baidu.txt";
  struct stat info = {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(rank_once(profile, server, folder), "第24名");
  const std::vector<HttpRequest> second_run = server.requests();
  ASSERT_EQ(second_run.size(), 7u);
  EXPECT_EQ(second_run[4].target, "/s?ie=utf-8&wd=seo&pn=0&rn=10");
  EXPECT_EQ(second_run[4].header("Cookie"), "BAIDUID=home; H_PS=21");
}

TEST(EngineClient, CookiesOffKeepsThemForTheRunOnly) {
  FixtureServer server(baidu);
  const std::string folder = fresh_folder("off");
  EngineProfile profile = baidu_over_http();
  profile.cookies = false;
  for (int run = 0; run < 2; ++run) EXPECT_EQ(rank_once(profile, server, folder), "第24名");
  EXPECT_FALSE(std::filesystem::exists(folder)) << "nothing stored";
  const std::vector<HttpRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 8u) << "each run visits the home page first";
  EXPECT_EQ(requests[4].target, "/");
  EXPECT_EQ(requests[4].header("Cookie"), "");
  EXPECT_EQ(requests[5].header("Cookie"), "BAIDUID=home");
}

TEST(EngineClient, NamesACookieFileOnlyForAProfileThatKeepsCookies) {
  EngineProfile profile = kCurrentSogou;
  EXPECT_EQ(engine_cookie_file(profile, "sogou", "/data/cookies"), "/data/cookies/sogou.txt");
  EXPECT_EQ(engine_cookie_file(profile, "sogou", ""), "");
  profile.cookies = false;
  EXPECT_EQ(engine_cookie_file(profile, "sogou", "/data/cookies"), "");
  EXPECT_EQ(engine_cookie_file(kSogou, "sogou", "/data/cookies"), "") << "classic: no session";
}

}  // namespace
}  // namespace quillrank

namespace quillrank {
namespace {

// A member's name in cookie and saved-page file names: host and port, nothing that leaves a
// folder.
TEST(MemberFilePart, KeepsHostAndPortAndNothingThatLeavesAFolder) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"socks5h://10.0.0.2:1080", "10.0.0.2_1080"},
      {"http://[::1]:3128", "___1__3128"},
      {"http://proxy.example:8080", "proxy.example_8080"},
      {"../../etc/x", ".._.._etc_x"},
  };
  for (const auto& [member, part] : cases) EXPECT_EQ(member_file_part(member), part) << member;
  EXPECT_EQ(engine_cookie_file(kCurrentBaidu, "baidu", "/c", "http://u:pw@127.0.0.1:9"),
            "/c/baidu@127.0.0.1_9.txt");
}

}  // namespace
}  // namespace quillrank
