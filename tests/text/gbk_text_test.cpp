#include "text/gbk_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "text/char_scan.h"

namespace quillrank {
namespace {

// 中 is D6 D0 and 文 is CE C4 in GBK.
const std::string kZhong = "\xD6\xD0";
const std::string kWen = "\xCE\xC4";

struct FindCase {
  std::string text, sought;
  int start;  // 1 when the scan starts at the front
  bool ignore_case;
  int expected;
};

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, ReturnsPositionAtCharacterStart) {
  const FindCase& c = GetParam();
  EXPECT_EQ(find_text(c.text, c.sought, c.start, c.ignore_case), c.expected)
      << "text '" << c.text << "' sought '" << c.sought << "' start " << c.start;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    ::testing::Values(
        FindCase{kZhong + "b", "b", 1, false, 3}, FindCase{"abc", "", 1, false, 1},
        FindCase{"", "", 1, false, -1}, FindCase{"ab", "abc", 1, false, -1},
        FindCase{"abc", "", 9, false, -1},
        // A1 B0 straddles the characters B0 A1 | B0 A2 and is not found.
        FindCase{"\xB0\xA1\xB0\xA2", "\xA1\xB0", 1, false, -1},
        // "|" (7C) as the second byte of a character is not a match; the real one is.
        FindCase{"\x81\x7C|", "|", 1, false, 3}, FindCase{"x<a href", "<A HREF", 1, true, 2},
        FindCase{"x<a href", "<A HREF", 1, false, -1},
        // Folding reaches second bytes: 0x81 0x41 matches 0x81 0x61 when case is ignored.
        FindCase{"\x81\x61", "\x81\x41", 1, true, 1},
        FindCase{"\x81\x61", "\x81\x41", 1, false, -1},
        // Full-width letters keep their case (A3 C1 is full-width A, A3 E1 full-width a).
        FindCase{"\xA3\xE1", "\xA3\xC1", 1, true, -1}, FindCase{"abcabc", "abc", 0, false, 1},
        FindCase{"abcabc", "abc", INT_MIN, false, 1}, FindCase{"abcabc", "abc", 2, false, 4},
        FindCase{"abcabc", "abc", 7, false, -1}, FindCase{"abcabc", "abc", INT_MAX, true, -1},
        // A start on a second byte: the scan takes that byte as a character start.
        FindCase{"\xB0\xA1\xB0\xA2", "\xA1\xB0", 2, true, 2},
        // A lone lead byte at the end is still compared, then the scan stops.
        FindCase{"a\xB0", "\xB0", 1, false, 2}, FindCase{"a\xB0", "x", 1, false, -1},
        FindCase{"a\xB0", "", 2, false, 1}));

TEST(FindText, FindsMarkerAfterLongMixedText) {
  std::string page;
  for (int i = 0; i < 5000; ++i) page += kZhong + "ab" + kWen + "\x81|";
  page += "MARK";
  EXPECT_EQ(find_text(page, "MARK", false), static_cast<int>(page.size()) - 3);
  EXPECT_EQ(find_text(page, "mark", true), static_cast<int>(page.size()) - 3);
  EXPECT_EQ(find_text(page, "\xD0\x61", false), -1) << "second and first byte straddled";
}

// Ignoring case, a long page is searched a window at a time: wherever the windows' edges fall,
// the search finds what a search of the whole folded page finds, also when the marker straddles
// an edge or the edge falls inside a two-byte character.
TEST(FindText, IgnoringCaseFindsWhatTheWholeFoldedPageHolds) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    std::string page;
    const std::size_t size = 1000 + rng() % 200000;
    while (page.size() < size) page += rng() % 3 ? kZhong : std::string(1, 'a' + rng() % 3);
    const std::size_t at = rng() % page.size();
    page.insert(at, rng() % 2 ? "MaRk" : "\x81mark");
    for (const int start : {1, 3}) {
      const std::size_t expected = scan::find_at_char_start(scan::fold_ascii_case(page), "mark",
                                                            static_cast<std::size_t>(start - 1));
      const int found = find_text(page, "mArK", start, true);
      EXPECT_EQ(found, expected == scan::npos ? -1 : static_cast<int>(expected) + 1)
          << "round " << round << " at " << at;
    }
  }
}

struct ReplaceCase {
  std::string text, sought, replacement;
  bool case_sensitive;
  ReplaceOptions options;
  std::string expected;
};

class ReplaceTextTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTextTest, Replaces) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(replace_text(c.text, c.sought, c.replacement, c.case_sensitive, c.options), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTextTest,
    ::testing::Values(
        ReplaceCase{"HTTP://abc|x", "http://", "", false, {}, "abc|x"},
        ReplaceCase{"HTTP://abc|x", "http://", "", true, {}, "HTTP://abc|x"},
        ReplaceCase{"a.a.a", ".", "-", true, {.count = 1}, "a-a.a"},
        ReplaceCase{"aaaa", "aa", "a", true, {}, "aa"},
        ReplaceCase{"abab", "b", "bb", true, {}, "abbabb"},  // inserted text is not rescanned
        ReplaceCase{"a\r\nb\r\n", "\r\n", "|", true, {}, "a|b|"},
        ReplaceCase{"abc", "", "x", true, {}, "abc"}, ReplaceCase{"", "a", "x", true, {}, ""},
        ReplaceCase{"aaa", "a", "x", true, {.count = 0}, "aaa"},
        ReplaceCase{"aaa", "a", "x", true, {.count = -1}, "xxx"},
        ReplaceCase{"aaa", "a", "x", true, {.start = 2}, "axx"},
        ReplaceCase{"aaa", "a", "x", true, {.start = 4}, "aaa"},
        ReplaceCase{"aaa", "a", "x", true, {.start = INT_MIN}, "xxx"},
        // Two-byte characters are stepped over: the 7C inside 81 7C stays.
        ReplaceCase{"\x81|x|", "|", "-", true, {}, "\x81|x-"},
        ReplaceCase{"\xB0\xA1\xB0\xA2", "\xA1\xB0", "", true, {}, "\xB0\xA1\xB0\xA2"},
        // A one-byte scan drops a lone lead byte at the end; a longer sought leaves it.
        ReplaceCase{"ab\xB0", "a", "x", true, {}, "xb"},
        ReplaceCase{"ab\xB0", "\xB0", "x", true, {}, "abx"},
        ReplaceCase{"ab\xB0", "ab", "x", true, {}, "x\xB0"},
        ReplaceCase{"ab\xB0", "a", "x", true, {.count = 1}, "xb\xB0"}));

TEST(CuttingPrimitives, ClampEveryOutOfRangeArgument) {
  EXPECT_EQ(left_text("abc", 5), "abc");
  EXPECT_EQ(left_text("abc", 0), "");
  EXPECT_EQ(left_text("abc", INT_MIN), "");
  EXPECT_EQ(left_text(kZhong + kWen, 3), kZhong + "\xCE");
  EXPECT_EQ(right_text("abc", 2), "bc");
  EXPECT_EQ(right_text("abc", INT_MAX), "abc");
  EXPECT_EQ(right_text("abc", -1), "");
  EXPECT_EQ(mid_text("abcdef", 5, 10), "ef");
  EXPECT_EQ(mid_text("abcdef", 0, 3), "");
  EXPECT_EQ(mid_text("abcdef", 7, 3), "");
  EXPECT_EQ(mid_text("abcdef", 2, 0), "");
  EXPECT_EQ(mid_text("abcdef", INT_MAX, INT_MAX), "");
  EXPECT_EQ(mid_text("abcdef", 6, INT_MAX), "f");
}

TEST(RemoveSpaces, DropsHalfAndFullWidthSpacesAtCharacterStarts) {
  EXPECT_EQ(remove_spaces(" a\xA1\xA1"
                          "b\tc "),
            "ab\tc");
  EXPECT_EQ(remove_spaces("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
  EXPECT_EQ(remove_spaces("a b\xB0"), "ab") << "a truncated character is dropped";
  EXPECT_EQ(remove_spaces("\r\n"), "\r\n");
}

TEST(ToLower, FoldsOnlyOneByteCapitals) {
  EXPECT_EQ(to_lower("ABC" + kZhong + "DEF"), "abc" + kZhong + "def");
  EXPECT_EQ(to_lower("\x81\x41Z"), "\x81\x41z") << "second bytes keep their case";
  EXPECT_EQ(to_lower("A\xB0"), "a\xB0") << "a truncated character stays";
  EXPECT_EQ(to_lower("\xA3\xC1"), "\xA3\xC1");
}

TEST(ToInteger, ParsesAfterFoldingFullWidthForms) {
  struct Case {
    std::string text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"\xA3\xB1\xA3\xB2\xA3\xB3", 123},  // full-width 1 2 3
      {" -7px", -7},
      {"abc", 0},
      {"12abc", 12},
      {"\xA1\xA1\xA3\xAD"
       "5",
       -5},  // full-width space, full-width minus, 5
      {"\t\n+42", 42},
      {"- 3", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN},  // modulo 2^32
      {"-2147483648", INT32_MIN},
      {"4294967297", 1},
      {"99999999999999999999", static_cast<std::int32_t>(1661992959u)},
      {"7\xB0", 7},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(to_integer(c.text), c.expected) << c.text;
}

TEST(ToText, FormatsNumbersAndCutsBuffersAtZero) {
  EXPECT_EQ(to_text(ByteBuffer{std::string("ab\0cd", 5)}), "ab");
  EXPECT_EQ(to_text(ByteBuffer{std::string("\0cd", 3)}), "");
  EXPECT_EQ(to_text(ByteBuffer{"abc"}), "abc");
  EXPECT_EQ(to_text(ByteBuffer{}), "");
  EXPECT_EQ(to_text(200.0), "200");
  EXPECT_EQ(to_text(0.0), "0");
  EXPECT_EQ(to_text(2.5), "2.5");
  EXPECT_EQ(to_text(-100.0), "-100");
  EXPECT_EQ(to_text(INT32_MIN), "-2147483648");
  EXPECT_EQ(to_bytes("a\xB0").bytes, "a\xB0");
}

TEST(TruncateNumber, TruncatesTowardZeroAndClamps) {
  EXPECT_EQ(truncate_number(2.9), 2);
  EXPECT_EQ(truncate_number(-2.9), -2);
  EXPECT_EQ(truncate_number(1e300), INT32_MAX);
  EXPECT_EQ(truncate_number(-1e300), INT32_MIN);
  EXPECT_EQ(truncate_number(0.0 / 0.0), 0);
}

TEST(CompareAndConcat, CompareAsUnsignedBytes) {
  EXPECT_EQ(compare_text("", ""), 0);
  EXPECT_LT(compare_text("a", "\xB0"), 0) << "0xB0 is above 'a' as an unsigned byte";
  EXPECT_LT(compare_text("ab", "abc"), 0);
  EXPECT_GT(compare_text("b", "a"), 0);
  EXPECT_NE(compare_text("A", "a"), 0);
  EXPECT_EQ(concat_text("http://", std::string(), "x", kZhong), "http://x" + kZhong);
  EXPECT_EQ(text_length(kZhong + kWen), 4);
}

}  // namespace
}  // namespace quillrank
