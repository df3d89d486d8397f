#include "keywords/keyword_file.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

TEST(DecodeKeywordFile, TakesUtf8WhenMarkedOrValidAndGbkOtherwise) {
  struct Case {
    const char* what;
    std::string file;
    std::string text;
  };
  const Case cases[] = {
      {"GBK as it stands", "a|\xD6\xD0\xCE\xC4\r\nb|c", "a|\xD6\xD0\xCE\xC4\r\nb|c"},
      {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" "a|b", "a|b"},
      {"UTF-8 without a mark", "a|\xE4\xB8\xAD\xE6\x96\x87", "a|\xD6\xD0\xCE\xC4"},
      {"marked UTF-8 with a bad byte", "\xEF\xBB\xBF\xE4\xB8\xAD\xFF", "\xD6\xD0?"},
      {"ASCII", "a|b\r\n", "a|b\r\n"},
      {"GBK cut at a zero byte", std::string("a|b\0c", 5), "a|b"},
      {"UTF-8 cut at a zero byte", std::string("\xE4\xB8\xAD\0\xFF", 5), "\xD6\xD0"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_keyword_file(ByteBuffer{c.file}), c.text) << c.what;
}

}  // namespace
}  // namespace quillrank
