// Random texts built from the bytes that matter (lead bytes, "|", letters of both cases, CR LF)
// checked against the step-by-step statement of the rules.
#include <gtest/gtest.h>

#include <random>

#include "support/reference_text.h"
#include "text/gbk_text.h"

namespace quillrank {
namespace {

std::string random_text(std::mt19937& rng, int max_length) {
  static const char kAlphabet[] = {'a',    'A',    'b',    'B',    '|',    '\r',   '\n',
                                   ' ',    '\x80', '\x81', '\xA1', '\xB0', '\x41', '\x61',
                                   '\x7C', 'h',    't',    'p',    ':',    '/'};
  std::uniform_int_distribution<int> length(0, max_length);
  std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 1);
  std::string text(length(rng), '\0');
  for (char& c : text) c = kAlphabet[pick(rng)];
  return text;
}

TEST(FastTextRules, AgreeWithTheStepByStepStatement) {
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<int> start(-2, 12);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = random_text(rng, 16);
    const std::string sought = random_text(rng, 3);
    const int s = start(rng);
    const bool fold = i % 2 == 0;
    ASSERT_EQ(find_text(text, sought, s, fold), reference::find_text(text, sought, s, fold))
        << testing::PrintToString(text) << " " << testing::PrintToString(sought) << " " << s;
    const std::optional<int> count = i % 3 == 0 ? std::optional<int>(1) : std::nullopt;
    ASSERT_EQ(replace_text(text, sought, "#", fold, {.start = s, .count = count}),
              reference::replace_text(text, sought, "#", fold, s, count))
        << testing::PrintToString(text) << " " << testing::PrintToString(sought) << " " << s;
  }
}

}  // namespace
}  // namespace quillrank
