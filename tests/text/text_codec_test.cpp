#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quillrank {
namespace {

struct CodecCase {
  const char* what;
  std::string utf8;
  std::string gbk;
};

TEST(Utf8ToGbk, ConvertsAndReplacesOneQuestionMarkPerBadSequence) {
  const CodecCase cases[] = {
      {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"ASCII", "site|seo\r\n", "site|seo\r\n"},
      {"ellipsis", "\xE2\x80\xA6", "\xA1\xAD"},
      {"euro is 0x80 in code page 936", "\xE2\x82\xAC", "\x80"},
      {"emoji outside GBK",
       "a\xF0\x9F\x98\x80"
       "b",
       "a?b"},
      {"lone continuation byte",
       "a\x80"
       "b",
       "a?b"},
      {"two invalid bytes are two sequences", "\xFF\xFE", "??"},
      {"truncated three-byte sequence inside",
       "a\xE4\xB8"
       "b",
       "a?b"},
      {"truncated at the end", "\xE4\xB8\xAD\xE6\x96", "\xD6\xD0?"},
      {"overlong form", "\xC0\xAF", "??"},
      {"surrogate", "\xED\xA0\x80", "???"},
      {"zero byte passes", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"empty", "", ""},
  };
  for (const CodecCase& c : cases) EXPECT_EQ(utf8_to_gbk_text(c.utf8), c.gbk) << c.what;
}

TEST(GbkToUtf8, ConvertsAndReplacesOneQuestionMarkPerBadSequence) {
  const CodecCase cases[] = {
      {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"euro", "\xE2\x82\xAC", "\x80"},
      {"lead byte before a control byte keeps that byte", "?\r", "\x81\r"},
      {"lone lead byte at the end", "a?", "a\x81"},
      {"0xFF", "?", "\xFF"},
  };
  for (const CodecCase& c : cases) EXPECT_EQ(gbk_to_utf8(c.gbk), c.utf8) << c.what;
}

TEST(Codec, RoundTripsEveryDoubleByteCharacterOfGbk) {
  int checked = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string utf8 = gbk_to_utf8(gbk);
      if (utf8 == "?") continue;  // a code point the code page leaves undefined
      ASSERT_EQ(utf8_to_gbk_text(utf8), gbk) << std::hex << lead << " " << trail;
      ++checked;
    }
  }
  EXPECT_GT(checked, 21000);
}

TEST(Codec, ConvertsOnManyThreadsAtOnce) {
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87|seo";
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        if (gbk_to_utf8(utf8_to_gbk_text(utf8)) != utf8) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(IsValidUtf8, AcceptsOnlyWellFormedText) {
  EXPECT_TRUE(is_valid_utf8("abc"));
  EXPECT_TRUE(is_valid_utf8("\xE4\xB8\xAD\xF0\x9F\x98\x80"));
  EXPECT_FALSE(is_valid_utf8("\xD6\xD0\xCE\xC4"));  // GBK for 中文
  EXPECT_FALSE(is_valid_utf8("\xE4\xB8"));
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

}  // namespace
}  // namespace quillrank
