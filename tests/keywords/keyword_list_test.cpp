#include "keywords/keyword_list.h"

#include <gtest/gtest.h>

#include "text/text_codec.h"

namespace quillrank {
namespace {

using Rows = std::vector<QueryRow>;

struct SplitCase {
  const char* what;
  std::string text;
  Rows expected;
};

TEST(SplitKeywordList, PairsTokensAcrossLineEnds) {
  const std::string kBaiduWord = "\xB0\xD9\xB6\xC8";  // 百度
  const SplitCase cases[] = {
      {"one line", "siteA|seo", {{"siteA", "seo"}}},
      {"two lines in order", "siteA|seo\r\nsiteB|web", {{"siteA", "seo"}, {"siteB", "web"}}},
      {"http:// dropped", "http://siteA|seo", {{"siteA", "seo"}}},
      {"HTTP:// dropped", "HTTP://siteA|seo", {{"siteA", "seo"}}},
      {"https:// stays", "https://siteA|seo", {{"https://siteA", "seo"}}},
      {"http:// dropped inside keywords", "siteA|best http://tools", {{"siteA", "best tools"}}},
      {"spaces stay", "siteA | seo", {{"siteA ", " seo"}}},
      {"line without a bar shifts the pairing",
       "siteA\r\nsiteB|web",
       {{"siteA", "siteB"}, {"web", ""}}},
      {"two bars on a line", "siteA|k1|k2", {{"siteA", "k1"}, {"k2", ""}}},
      {"lone CR and LF stay inside tokens", "a\rb|c\nd", {{"a\rb", "c\nd"}}},
      {"bar as a second byte is no separator", "site|\x81|x", {{"site", "\x81|x"}}},
      {"Chinese keyword", "siteA|" + kBaiduWord, {{"siteA", kBaiduWord}}},
      {"trailing line break adds no row", "siteA|seo\r\n", {{"siteA", "seo"}}},
      {"empty list gives no row", "", {}},
      {"empty pairs inside are dropped", "a|b\r\n|\r\nc|d", {{"a", "b"}, {"c", "d"}}},
      {"a pair with one side empty stays", "|seo\r\nsite|", {{"", "seo"}, {"site", ""}}},
      {"duplicates stay", "a|b\r\na|b", {{"a", "b"}, {"a", "b"}}},
      // The lead byte at the end takes the appended CR, so no line end and no bar remain.
      {"truncated character swallows the line end", "a\xB0", {}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(split_keyword_list(c.text), c.expected) << c.what;
}

TEST(SplitKeywordList, SampleTextGivesItsOddPairing) {
  const Rows rows = split_keyword_list(sample_text());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(gbk_to_utf8(rows[0].site), "注意：一行一组数据。例：");
  EXPECT_EQ(rows[0].keyword, "www.qq.com");
  EXPECT_EQ(rows[1], (QueryRow{"QQ", "www.baidu.com"}));
  EXPECT_EQ(gbk_to_utf8(rows[2].site), "百度");
  EXPECT_EQ(rows[2].keyword, "www.google.com");
  EXPECT_EQ(gbk_to_utf8(rows[3].site), "谷歌");
  EXPECT_EQ(rows[3].keyword, "");
}

TEST(SplitKeywordList, HandlesALongListInOnePass) {
  std::string list;
  for (int i = 0; i < 100000; ++i) list += "site" + std::to_string(i) + ".example|kw\r\n";
  const Rows rows = split_keyword_list(list);
  ASSERT_EQ(rows.size(), 100000u);
  EXPECT_EQ(rows.back(), (QueryRow{"site99999.example", "kw"}));
}

TEST(SampleText, IsTheBoxTextInGbkAndIsRecognisedExactly) {
  EXPECT_EQ(
      gbk_to_utf8(sample_text()),
      "注意：一行一组数据。例：\r\nwww.qq.com|QQ\r\nwww.baidu.com|百度\r\nwww.google.com|谷歌");
  EXPECT_TRUE(is_sample_text(sample_text()));
  EXPECT_FALSE(is_sample_text(sample_text() + " "));
  EXPECT_FALSE(is_sample_text(to_lower(sample_text())));
  EXPECT_FALSE(is_sample_text(""));
}

}  // namespace
}  // namespace quillrank
