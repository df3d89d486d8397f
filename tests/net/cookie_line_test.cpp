// Cookie-file lines: read into fields as the transfer library writes them, written back so the
// library reads the same cookie, merged into a file's lines by domain, path and name.
#include "net/cookie_line.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

TEST(CookieLine, ReadsTheLinesTheTransferLibraryWrites) {
  const auto session = parse_cookie_line(".baidu.com\tTRUE\t/\tFALSE\t0\tBAIDUID\tAB:FG=1");
  ASSERT_TRUE(session);
  EXPECT_EQ(*session, (CookieLine{.domain = "baidu.com",
                                  .include_subdomains = true,
                                  .path = "/",
                                  .secure = false,
                                  .expires = 0,
                                  .name = "BAIDUID",
                                  .value = "AB:FG=1"}));
  const auto http_only =
      parse_cookie_line("#HttpOnly_www.google.com\tFALSE\t/search\tTRUE\t1893456000\tNID\t");
  ASSERT_TRUE(http_only);
  EXPECT_TRUE(http_only->http_only);
  EXPECT_TRUE(http_only->secure);
  EXPECT_EQ(http_only->path, "/search");
  EXPECT_EQ(http_only->expires, 1893456000);
  EXPECT_EQ(http_only->value, "") << "an empty value is a cookie";
}

TEST(CookieLine, RefusesWhatIsNoCookie) {
  for (const char* line : {
           "# Netscape HTTP Cookie File",
           "",
           "a.com\tTRUE\t/\tFALSE\t0\tname",            // six fields
           "a.com\tTRUE\t/\tFALSE\t0\tname\tv\textra",  // eight
           "\tTRUE\t/\tFALSE\t0\tname\tv",              // no domain
           ".\tTRUE\t/\tFALSE\t0\tname\tv",             // a dot alone
           "..a.com\tTRUE\t/\tFALSE\t0\tname\tv",       // two dots
           ".#a.com\tFALSE\t/\tFALSE\t0\tname\tv",      // a comment once written back
           "a.com\tTRUE\t/\tFALSE\t0\t\tv",             // no name
           "a.com\tyes\t/\tFALSE\t0\tname\tv",          // not a flag
           "a.com\tTRUE\tpath\tFALSE\t0\tname\tv",      // a path starts with '/'
           "a.com\tTRUE\t/\tFALSE\tsoon\tname\tv",      // an expiry that is no number
           "a.com\tTRUE\t/\tFALSE\t-5\tname\tv",        // nor before 1970
           "a.com\tTRUE\t/\tFALSE\t0\tname\tv\r",       // a control character
           "a.com\tTRUE\t/\tFALSE\t0\tna\nme\tv",
       }) {
    EXPECT_FALSE(parse_cookie_line(line)) << line;
  }
}

TEST(CookieLine, WritesALineThatReadsAsTheSameCookie) {
  for (const CookieLine& cookie : {
           CookieLine{
               .domain = "baidu.com", .include_subdomains = true, .name = "BAIDUID", .value = "x"},
           CookieLine{.domain = "www.google.com",
           .path = "/s",
           .secure = true,
           .expires = 1893456000,
           .name = "NID",
           .value = "a b",
           .http_only = true},
       }) {
    EXPECT_EQ(parse_cookie_line(cookie_line_text(cookie)), cookie) << cookie_line_text(cookie);
  }
  EXPECT_EQ(cookie_line_text(
                {.domain = "baidu.com", .include_subdomains = true, .name = "A", .value = "1"}),
            ".baidu.com\tTRUE\t/\tFALSE\t0\tA\t1");
}

TEST(CookieLine, MergesByDomainPathAndName) {
  const std::vector<std::string> file = {
      "# a comment stays",
      ".baidu.com\tTRUE\t/\tFALSE\t0\tBAIDUID\told",
      ".baidu.com\tTRUE\t/s\tFALSE\t0\tBAIDUID\tother path",
  };
  const CookieLine passed{
      .domain = "baidu.com", .include_subdomains = true, .name = "BAIDUID", .value = "new"};
  const auto replaced = merge_cookie(file, passed);
  ASSERT_EQ(replaced.size(), 3u);
  EXPECT_EQ(replaced[0], file[0]);
  EXPECT_EQ(replaced[1], ".baidu.com\tTRUE\t/\tFALSE\t0\tBAIDUID\tnew");
  EXPECT_EQ(replaced[2], file[2]);

  const CookieLine fresh{.domain = "www.baidu.com", .name = "BDSVRTM", .value = "1"};
  EXPECT_EQ(merge_cookie(file, fresh).back(), cookie_line_text(fresh));
  EXPECT_EQ(merge_cookie(file, passed, true), (std::vector<std::string>{file[0], file[2]}));
  EXPECT_EQ(merge_cookie(file, fresh, true), file) << "removing what is not there changes nothing";
}

}  // namespace
}  // namespace quillrank
