#include <gtest/gtest.h>

#include "engines/builtin_profiles.h"
#include "engines/engines.h"

namespace quillrank {
namespace {

struct UrlCase {
  const EngineProfile* profile;
  std::string keyword;
  int page;
  std::string url;
};

TEST(QueryUrl, BuildsEachEnginesFirstAndLastPage) {
  const UrlCase cases[] = {
      {&kBaidu, "abc", 1, "http://www.baidu.com/s?wd=abc&pn=0&rn=100"},
      {&kBaidu, "abc", 2, "http://www.baidu.com/s?wd=abc&pn=100&rn=100"},
      {&kBaidu, "abc", 3, "http://www.baidu.com/s?wd=abc&pn=200&rn=100"},
      {&kBaidu, "a b", 1, "http://www.baidu.com/s?wd=a%20b&pn=0&rn=100"},
      {&kGoogle, "abc", 1,
       "http://www.google.com.hk/"
       "search?num=100&hl=zh-CN&safe=strict&as_qdr=all&q=abc&start=0&sa=N"},
      {&kGoogle, "abc", 3,
       "http://www.google.com.hk/"
       "search?num=100&hl=zh-CN&safe=strict&as_qdr=all&q=abc&start=200&sa=N"},
      {&kSogou, "abc", 1, "http://www.sogou.com/web?query=abc&page=1&num=100"},
      {&kSogou, "abc", 3, "http://www.sogou.com/web?query=abc&page=3&num=100"},
      {&kSoso, "abc", 1, "http://www.soso.com/q?sc=web&w=abc&pg=1"},
      {&kSoso, "seo", 30, "http://www.soso.com/q?sc=web&w=seo&pg=30"},
      {&kBaidu, "\xC4\xE3\xBA\xC3", 1, "http://www.baidu.com/s?wd=%C4%E3%BA%C3&pn=0&rn=100"},
      {&kBaidu, "a&b#c", 2, "http://www.baidu.com/s?wd=a%26b%23c&pn=100&rn=100"},
      {&kBaidu, "", 1, "http://www.baidu.com/s?wd=&pn=0&rn=100"},
  };
  for (const UrlCase& c : cases) {
    EXPECT_EQ(query_url(*c.profile, c.keyword, c.page), c.url) << c.profile->name << " " << c.page;
  }
}

TEST(QueryUrl, FollowsTheProfilesSchemeAndKeywordEncoding) {
  struct Case {
    std::string scheme;
    KeywordEncoding encoding;
    std::string url;
  };
  const Case cases[] = {
      {"http", KeywordEncoding::gbk, "http://www.baidu.com/s?wd=%C4%E3%BA%C3%20a&pn=10&rn=100"},
      {"https", KeywordEncoding::gbk, "https://www.baidu.com/s?wd=%C4%E3%BA%C3%20a&pn=10&rn=100"},
      {"https", KeywordEncoding::utf8,
       "https://www.baidu.com/s?wd=%E4%BD%A0%E5%A5%BD%20a&pn=10&rn=100"},
  };
  for (const Case& c : cases) {
    EngineProfile profile = kBaidu;
    profile.scheme = c.scheme;
    profile.keyword_encoding = c.encoding;
    profile.page_size = 10;
    EXPECT_EQ(query_url(profile, "\xC4\xE3\xBA\xC3 a", 2), c.url);  // 你好 a in GBK
  }
}

TEST(PercentEncode, KeepsOnlyUnreservedBytes) {
  EXPECT_EQ(percent_encode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percent_encode(" !%+/?=\x7F\x80\xFF"), "%20%21%25%2B%2F%3F%3D%7F%80%FF");
}

TEST(EngineProfiles, HoldTheMarkersOfEachEngine) {
  EXPECT_EQ(kBaidu.link_prefix.size(), 9u);
  EXPECT_EQ(kGoogle.link_prefix.size(), 20u);
  EXPECT_EQ(kSogou.link_prefix.size(), 21u);
  EXPECT_EQ(kSoso.link_prefix.size(), 12u);
  EXPECT_EQ(kBaidu.rank_left.size(), 4u);
  EXPECT_EQ(kGoogle.rank_left, "(0,'','','','");
  EXPECT_EQ(kGoogle.rank_left.size(), 13u);
  EXPECT_EQ(kSogou.rank_left.size(), 18u);
  EXPECT_EQ(kSoso.rank_left.size(), 7u);
  EXPECT_EQ(kSoso.page_count * kSoso.page_size, 300);
  EXPECT_EQ(kBaidu.page_count * kBaidu.page_size, 300);
}

}  // namespace
}  // namespace quillrank
