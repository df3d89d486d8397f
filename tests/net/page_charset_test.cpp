#include "net/page_charset.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/expansion_reference.h"

namespace quillrank {
namespace {

TEST(ReadMetaValue, ReadsTheValueOfTheFirstTagThatMentionsTheWord) {
  struct Case {
    const char* what;
    std::string page;
    std::string expected;
  };
  const Case cases[] = {
      {"http-equiv form, value unquoted inside content",
       "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">", "gb2312"},
      {"short form in double quotes", "<meta charset=\"utf-8\">", "utf-8"},
      {"short form unquoted", "<meta charset=GB2312 />", "GB2312"},
      {"upper-case tag and key", "<META CHARSET=\"Big5\">", "Big5"},
      {"first declaration wins", "<meta charset=\"gbk\"><meta charset=\"utf-8\">", "gbk"},
      {"a plain mention collected, the later declaration decides",
       "<meta name=\"x\" content=\"charset\"><meta charset=\"gb18030\">", "gb18030"},
      {"a copy of a dropped tag does not hide the next", "<meta x><meta x><meta charset=gbk>",
       "gbk"},
      {"a second byte > does not end the tag", "<meta charset=\"a\x81>b\">", "a\x81>b"},
      {"blanks inside the value are removed", "<meta charset=\"g b k\">", "gbk"},
      {"tags before a <meta without > still count", "<meta charset=\"gbk\"><meta charset=x", "gbk"},
      {"<meta without > first: nothing collected", "<meta charset=gbk", ""},
      {"empty page", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_meta_value(c.page, "charset", "charset=", 9), c.expected) << c.what;
  }
}

TEST(ReadMetaValue, ReadsKeywordsTheWayTheSiteExpansionAsksForThem) {
  struct Case {
    const char* what;
    std::string page;
    std::string expected;
  };
  const Case cases[] = {
      {"keywords tag", "<meta name=\"keywords\" content=\"seo tools,rank check\">",
       "seotools,rankcheck"},
      {"a description mentioning keywords comes first and supplies its content",
       "<meta name=\"description\" content=\"best keywords here\">"
       "<meta name=\"keywords\" content=\"a,b\">",
       "bestkeywordshere"},
      // Without a content key the value is cut from the quoted tag <meta"name=""keywords"">,
      // from its eighth byte up to the next quote.
      {"a keywords tag without content", "<meta name=\"keywords\">", "ame="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_meta_value(c.page, "keywords", "content=", 10), c.expected) << c.what;
  }
}

TEST(ReadMetaValue, AgreesWithStepByStepRemovalOnRandomPages) {
  std::mt19937 rng(20240604);
  for (int i = 0; i < 4000; ++i) {
    const std::string page =
        reference::random_marker_text(rng, rng() % 40, reference::meta_pieces());
    const bool keywords = i % 2 == 1;
    const char* word = keywords ? "keywords" : "charset";
    const char* key = keywords ? "content=" : "charset=";
    const int window = keywords ? 10 : 9;
    ASSERT_EQ(read_meta_value(page, word, key, window),
              reference::read_meta_value(page, word, key, window))
        << testing::PrintToString(page);
  }
}

TEST(DetectPageCharset, GivesGbkForTheGbFamilyAndUtf8ForEverythingElse) {
  struct Case {
    std::string page;
    std::string_view verdict;
  };
  const Case cases[] = {
      {"<meta http-equiv=Content-Type content=\"text/html; charset=GB2312\">", kGbkVerdict},
      {"<meta charset='gb2312'>", kGbkVerdict},
      {"<meta charset=\"GBK\">", kGbkVerdict},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb18030\">", kGbkVerdict},
      {"<meta charset=\"utf-8\">", kUtf8Verdict},
      {"<meta charset=\"gb2312x\">", kUtf8Verdict},
      {"<html><body>\xD6\xD0\xCE\xC4</body></html>", kUtf8Verdict},
      {"<meta charset=\"utf-8\"><meta charset=\"gbk\">", kUtf8Verdict},
  };
  for (const Case& c : cases) EXPECT_EQ(detect_page_charset(c.page), c.verdict) << c.page;
}

TEST(Utf8ToGbk, ConvertsAndReplacesWhatGbkCannotHold) {
  struct Case {
    const char* what;
    std::string utf8;
    std::string gbk;
  };
  const Case cases[] = {
      {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"ASCII unchanged", "<title>Quill rank</title>", "<title>Quill rank</title>"},
      {"an emoji",
       "a\xF0\x9F\x98\x80"
       "b",
       "a?b"},
      {"an invalid byte",
       "a\xFF"
       "b",
       "a?b"},
      {"ends inside a sequence", "\xE4\xB8\xAD\xE6\x96", "\xD6\xD0?"},
      {"stops at the first zero byte", std::string("ab\0\xE4\xB8\xAD", 6), "ab"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(utf8_to_gbk(ByteBuffer{c.utf8}), c.gbk) << c.what;
}

}  // namespace
}  // namespace quillrank
