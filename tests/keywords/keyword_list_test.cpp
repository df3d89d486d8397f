#include "keywords/keyword_list.h"

#include <gtest/gtest.h>

#include "engines/builtin_profiles.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using Rows = std::vector<QueryRow>;

QueryRow row(std::string site, std::string keyword, std::string entry = "") {
  return QueryRow{std::move(site), std::move(keyword), std::move(entry)};
}
using Numbers = std::vector<std::size_t>;

std::string gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

Numbers numbers_of(const KeywordList& list) {
  Numbers numbers;
  for (const ListLine& line : list.left_out) numbers.push_back(line.number);
  return numbers;
}

struct SplitCase {
  const char* what;
  std::string text;
  Rows rows;
  Numbers left_out = {};
};

TEST(SplitKeywordList, ReadsOnePairALine) {
  const std::string kBaidu = gbk("百度");
  const SplitCase cases[] = {
      {"one line", "siteA|seo", {row("siteA", "seo")}},
      {"two lines in order", "siteA|seo\r\nsiteB|web", {row("siteA", "seo"), row("siteB", "web")}},
      {"LF and CR end lines too", "a|b\nc|d\re|f", {row("a", "b"), row("c", "d"), row("e", "f")}},
      {"http:// dropped", "http://siteA|seo", {row("siteA", "seo")}},
      {"HTTP:// dropped", "HTTP://siteA|seo", {row("siteA", "seo")}},
      {"https:// dropped before the site", "HTTPS://siteA|seo", {row("siteA", "seo")}},
      {"http:// dropped inside keywords", "siteA|best http://tools", {row("siteA", "best tools")}},
      {"https:// inside a keyword stays", "siteA|https://x", {row("siteA", "https://x")}},
      {"blanks around both parts dropped", " \tsiteA \xA1\xA1| seo ", {row("siteA", "seo")}},
      {"blanks inside a keyword stay", "siteA|seo tools", {row("siteA", "seo tools")}},
      // A line with no bar no longer shifts the lines after it.
      {"line without a bar is left out", "siteA\r\nsiteB|web", {row("siteB", "web")}, {1}},
      {"split at the first bar", "siteA|k1|k2", {row("siteA", "k1|k2")}},
      {"empty site", "|seo\r\nsite|", {}, {1, 2}},
      {"blank-only site or keyword", " |seo\r\nsite| \xA1\xA1", {}, {1, 2}},
      {"a lone https:// is no site", "https://|seo", {}, {1}},
      {"blank lines skipped, counted", "\r\n  \r\na|b\r\n\r\nbad", {row("a", "b")}, {5}},
      {"bar as a second byte is no separator", "site\x81|x", {}, {1}},
      {"bar after a two-byte character", "site|" + kBaidu + "|x", {row("site", kBaidu + "|x")}},
      {"Chinese keyword", "siteA|" + kBaidu, {row("siteA", kBaidu)}},
      {"trailing line break adds no row", "siteA|seo\r\n", {row("siteA", "seo")}},
      {"empty list gives no row", "", {}},
      {"duplicates stay", "a|b\r\na|b", {row("a", "b"), row("a", "b")}},
      {"a site entry left in the list",
       " [http://www.x.com] ",
       {row("www.x.com", "", "[www.x.com]")}},
      {"an https entry", "[https://x.com]", {row("x.com", "", "[https://x.com]")}},
      {"brackets round nothing", "[]\r\n[ ]", {}, {1, 2}},
      {"closing bracket as a second byte", "[x\x81]", {}, {1}},
      {"a bracketed site with a keyword is a pair", "[x]|k", {row("[x]", "k")}},
      // The lead byte at the end takes the line end with it: one line without a bar.
      {"truncated character swallows the line end", "a\xB0\r\nb|c", {row("b", "c")}, {1}},
  };
  for (const SplitCase& c : cases) {
    const KeywordList list = split_keyword_list(c.text);
    EXPECT_EQ(list.rows, c.rows) << c.what;
    EXPECT_EQ(numbers_of(list), c.left_out) << c.what;
    EXPECT_EQ(list.left_out_count, c.left_out.size()) << c.what;
  }
}

TEST(SplitKeywordList, SampleTextGivesItsThreeExamplesAndNoWarning) {
  const KeywordList list = split_keyword_list(sample_text());
  EXPECT_EQ(list.rows, (Rows{row("www.qq.com", "QQ"), row("www.baidu.com", gbk("百度")),
                             row("www.google.com", gbk("谷歌"))}));
  EXPECT_EQ(list.left_out_count, 0u);
}

TEST(SplitKeywordList, ReportsLeftOutLinesWithinLimits) {
  std::string text = std::string(1000, 'x') + "\r\n";
  for (std::size_t i = 0; i < kMaxReportedLines + 10; ++i) text += "no bar\r\n";
  text += "a|b";
  const KeywordList list = split_keyword_list(text);
  EXPECT_EQ(list.rows, (Rows{row("a", "b")}));
  EXPECT_EQ(list.left_out_count, kMaxReportedLines + 11);
  ASSERT_EQ(list.left_out.size(), kMaxReportedLines);
  EXPECT_EQ(list.left_out[0].text, std::string(kMaxReportedLineBytes, 'x'));
  EXPECT_EQ(list.left_out[1].number, 2u);
  EXPECT_EQ(list.left_out[1].text, "no bar");
}

TEST(SplitKeywordList, RefusesMoreRowsThanARunTakes) {
  std::string list;
  for (std::size_t i = 0; i < kMaxListRows; ++i) list += "s|k\n";
  EXPECT_EQ(split_keyword_list(list).rows.size(), kMaxListRows);
  const KeywordList over = split_keyword_list(list + "s|k");
  EXPECT_TRUE(over.too_many);
  EXPECT_TRUE(over.rows.empty());
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
