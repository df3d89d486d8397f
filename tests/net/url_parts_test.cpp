#include "net/url_parts.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

TEST(SplitUrl, FindsEachPart) {
  const auto parts = split_url("http://user:pw@host.example:8080/p/a?q=1#frag");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->scheme, "http");
  EXPECT_EQ(parts->user, "user");
  EXPECT_EQ(parts->password, "pw");
  EXPECT_EQ(parts->host, "host.example");
  EXPECT_EQ(parts->port, "8080");
  EXPECT_EQ(parts->path_and_query, "/p/a?q=1");

  const auto bare = split_url("https://host?x");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->host, "host");
  EXPECT_EQ(bare->path_and_query, "?x");
  EXPECT_EQ(split_url("http://[::1]:81/")->host, "[::1]");
}

TEST(SplitUrl, RefusesWhatIsNoAbsoluteUrl) {
  for (const char* url : {"", "http://", "www.example.com", "://host/", "ht tp://host/",
                          "http:///path", "http://user@/"}) {
    EXPECT_FALSE(split_url(url)) << url;
  }
}

TEST(WithinRequestLimits, RefusesPartsOverTheirLimits) {
  const std::string host(kMaxHostBytes, 'h');
  const std::string path = "/" + std::string(kMaxPathBytes - 1, 'p');
  const std::string user(kMaxCredentialBytes, 'u');
  EXPECT_TRUE(within_request_limits(*split_url("http://" + user + ":" + user + "@" + host + path)));
  EXPECT_FALSE(within_request_limits(*split_url("http://h" + host + "/")));
  EXPECT_FALSE(within_request_limits(*split_url("http://host" + path + "x")));
  EXPECT_TRUE(within_request_limits(*split_url("http://host" + path + "#fragment not counted")));
  EXPECT_FALSE(within_request_limits(*split_url("http://u" + user + "@host/")));
  EXPECT_FALSE(within_request_limits(*split_url("http://u:p" + user + "@host/")));
}

TEST(EscapeRequestBytes, EscapesOnlyWhatCannotStandInARequestLine) {
  EXPECT_EQ(escape_request_bytes("http://h/a b\t\x7F\x80\xD6\xD0?x=%41&y=~!*'()"),
            "http://h/a%20b%09%7F%80%D6%D0?x=%41&y=~!*'()");
}

}  // namespace
}  // namespace quillrank
