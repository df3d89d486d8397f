#include "keywords/keyword_file.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "text/text_codec.h"

namespace quillrank {
namespace {

using Encoding = KeywordFileEncoding;

DecodedKeywordFile decode(const std::string& bytes) {
  return decode_keyword_file(ByteBuffer{bytes});
}

TEST(DecodeKeywordFile, ChoosesTheEncodingByMarkOrByUtf8ThatReadsAsChinese) {
  struct Case {
    const char* what;
    std::string file;
    std::string text;
    Encoding encoding;
  };
  const Case cases[] = {
      {"GBK", "a|\xD6\xD0\xCE\xC4\r\nb|c", "a|\xD6\xD0\xCE\xC4\r\nb|c", Encoding::gbk},
      {"our own export of 小说, valid UTF-8 by chance", "www.qidian.com|\xD0\xA1\xCB\xB5",
       "www.qidian.com|\xD0\xA1\xCB\xB5", Encoding::gbk},
      {"ASCII", "a|b\r\n", "a|b\r\n", Encoding::gbk},
      {"empty", "", "", Encoding::gbk},
      {"UTF-8 Chinese, as short as it gets", "a|\xE4\xB8\xAD\xE6\x96\x87", "a|\xD6\xD0\xCE\xC4",
       Encoding::utf8},
      {"UTF-8 Chinese with a middle dot and full-width punctuation",
       "a|\xE9\xA9\xAC\xE5\x85\x8B\xC2\xB7\xE5\x90\x90\xE6\xB8\xA9\xEF\xBC\x81",
       "a|\xC2\xED\xBF\xCB\xA1\xA4\xCD\xC2\xCE\xC2\xA3\xA1", Encoding::utf8},
      {"UTF-8 without Chinese stays GBK", "caf\xC3\xA9", "caf\xC3\xA9", Encoding::gbk},
      {"UTF-8 with a mark",
       "\xEF\xBB\xBF"
       "a|b",
       "a|b", Encoding::utf8},
      {"marked UTF-8 with a bad byte", "\xEF\xBB\xBF\xE4\xB8\xAD\xFF", "\xD6\xD0?", Encoding::utf8},
      {"UTF-16 LE",
       std::string("\xFF\xFE"
                   "a\0|\0\x2D\x4E\x87\x65",
                   10),
       "a|\xD6\xD0\xCE\xC4", Encoding::utf16le},
      {"UTF-16 BE", std::string("\xFE\xFF\0a\0|\x4E\x2D\x65\x87", 10), "a|\xD6\xD0\xCE\xC4",
       Encoding::utf16be},
      {"UTF-16 LE with CR LF",
       std::string("\xFF\xFE"
                   "a\0\r\0\n\0b\0",
                   10),
       "a\r\nb", Encoding::utf16le},
  };
  for (const Case& c : cases) {
    const DecodedKeywordFile decoded = decode(c.file);
    EXPECT_EQ(decoded.text, c.text) << c.what;
    EXPECT_EQ(decoded.encoding, c.encoding) << c.what;
  }
}

TEST(DecodeKeywordFile, TakesLfAndLoneCrAsLineEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"a.com|k1\nb.com|k2\n", "a.com|k1\r\nb.com|k2\r\n"},
      {"a.com|k1\rb.com|k2", "a.com|k1\r\nb.com|k2"},
      {"a\r\nb\n\rc\r\r\nd\r", "a\r\nb\r\n\r\nc\r\n\r\nd\r\n"},
      {"\xEF\xBB\xBF\xE4\xB8\xAD\n\xE6\x96\x87", "\xD6\xD0\r\n\xCE\xC4"},
      {std::string("\xFE\xFF\0a\0\r\0b", 8), "a\r\nb"},
  };
  for (const auto& [file, text] : cases) EXPECT_EQ(decode(file).text, text) << file;
}

TEST(DecodeKeywordFile, EndsAtTheFirstZeroCharacterAndSaysSo) {
  struct Case {
    std::string file;
    std::string text;
    bool ended;
  };
  const Case cases[] = {
      {std::string("a|b\0c", 5), "a|b", true},
      {std::string("\xE4\xB8\xAD\0\xFF", 5), "\xD6\xD0", true},
      {std::string("\xFF\xFE"
                   "a\0\0\0b\0",
                   8),
       "a", true},
      {std::string("\xFF\xFE"
                   "a\0b\0",
                   6),
       "ab", false},  // zero bytes, no zero unit
      {"a|b", "a|b", false},
  };
  for (const Case& c : cases) {
    const DecodedKeywordFile decoded = decode(c.file);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.ended_at_zero, c.ended) << c.text;
  }
}

TEST(DecodeKeywordFile, CountsWhatBecameAQuestionMarkButNotTheMarksWritten) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"a?|b", 0},
      {"a|\xFF\x81 ?\xD6\xD0", 2},                           // neither UTF-8 nor GBK
      {"\xEF\xBB\xBF?\xE4\xB8\xAD\xFF\xF0\x9F\x98\x80", 2},  // a bad byte, an emoji GBK lacks
      {std::string("\xFF\xFE?\0\x00\xD8?\0", 8), 1},         // an unpaired surrogate
      {std::string("\xFE\xFF\0?\0", 5), 1},                  // an odd last byte
  };
  for (const auto& [file, unreadable] : cases) {
    EXPECT_EQ(decode(file).unreadable, unreadable) << file;
  }
}

// The GB2312 level-1 characters (B0A1 to D7F9), the everyday ones.
std::vector<std::string> level_one_characters() {
  std::vector<std::string> characters;
  for (int lead = 0xB0; lead <= 0xD7; ++lead) {
    for (int trail = 0xA1; trail <= (lead == 0xD7 ? 0xF9 : 0xFE); ++trail) {
      characters.push_back({static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  return characters;
}

// Every level-1 character alone, then words of two to four of them drawn at random.
std::vector<std::string> chinese_words() {
  std::vector<std::string> words = level_one_characters();
  const std::vector<std::string> characters = words;
  std::mt19937 random(20240610);
  std::uniform_int_distribution<std::size_t> pick(0, characters.size() - 1);
  std::uniform_int_distribution<int> length(2, 4);
  for (int i = 0; i < 50000; ++i) {
    std::string word;
    for (int n = length(random); n > 0; --n) word += characters[pick(random)];
    words.push_back(word);
  }
  return words;
}

TEST(DecodeKeywordFile, ReadsEveryExportedChineseWordBackUnchanged) {
  const std::vector<std::string> words = chinese_words();
  ASSERT_EQ(words.size(), 3755u + 50000u);
  std::size_t misread = 0;
  for (const std::string& word : words) {
    const std::string line = "www.qidian.com|" + word;
    const DecodedKeywordFile decoded = decode(line);
    if (decoded.text != line || decoded.encoding != Encoding::gbk) {
      if (++misread <= 5) ADD_FAILURE() << "misread: " << gbk_to_utf8(word);
    }
  }
  EXPECT_EQ(misread, 0u);
}

TEST(DecodeKeywordFile, ReadsTheSameWordsWrittenAsUtf8WithAndWithoutAMark) {
  std::size_t misread = 0;
  for (const std::string& word : chinese_words()) {
    const std::string line = "a|" + word;
    const std::string utf8 = gbk_to_utf8(line);
    misread += decode(utf8).text != line;
    misread += decode("\xEF\xBB\xBF" + utf8).text != line;
  }
  EXPECT_EQ(misread, 0u);
}

}  // namespace
}  // namespace quillrank
