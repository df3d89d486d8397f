#include "text/segment_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/expansion_reference.h"

namespace quillrank {
namespace {

const SegmentRules kBrackets{.open = "[", .close = ']'};
const SegmentRules kMetaTags{.open = "<meta ", .close = '>', .ignore_case = true};
const SegmentRules kWords{.open = "", .close = '|', .ignore_case = true};

TEST(SegmentText, ReplaceAllDoesNotRescanWhatRemovalJoins) {
  SegmentText brackets("[a][[a]a]", kBrackets);
  brackets.replace_all("[a]", "");
  EXPECT_EQ(brackets.text(), "[a]");
  EXPECT_EQ(brackets.first_segment(), "[a]");

  SegmentText tags("<me<meta a>ta b>", kMetaTags);
  tags.replace_all("<meta a>", "");
  EXPECT_EQ(tags.text(), "<meta b>");
  EXPECT_EQ(tags.first_segment(), "<meta b>");

  SegmentText shifted("\x81<me<meta a>ta b>", kMetaTags);  // that "<" is a second byte
  shifted.replace_all("<meta a>", "");
  EXPECT_EQ(shifted.first_segment(), std::nullopt);

  SegmentText words("b|b|ab|c|", kWords);
  words.replace_all("B|", "");
  EXPECT_EQ(words.text(), "ac|");
  EXPECT_EQ(words.first_segment(), "ac|");
}

TEST(SegmentText, FindsSegmentStartsInsideReplacements) {
  SegmentText box("[a]x[b]", kBrackets);
  box.replace_all("[a]", "[c[d");
  EXPECT_EQ(box.first_segment(), "[c[dx[b]");
  box.replace_all("[dx[b]", "]");
  EXPECT_EQ(box.text(), "[c]");
  box.replace_all("[c]", "[e]|[f]");
  box.replace_all("[f]", "g");
  EXPECT_EQ(box.text(), "[e]|g");
}

// Replacements that hold copies of the segment itself, or closing bytes that join copies.
TEST(SegmentText, ReplacementsThatRepeatTheSegment) {
  struct Step {
    const char* segment;
    const char* replacement;
  };
  struct Case {
    const char* text;
    std::vector<Step> steps;
    const char* expected;
  };
  const Case cases[] = {
      {"[a]", {{"[a]", "[a][a]"}, {"[a]", "[a][a]"}}, "[a][a][a][a]"},
      {"[]", {{"[]", "[][]"}, {"[]", "]]"}}, "]]]]"},
      {"[y][x]", {{"[y]", "y|[x][x]"}, {"[x]", "x|a]]"}}, "y|x|a]]x|a]]x|a]]"},
      {"[b]\r\n[a]", {{"[b]", "[a] ]"}, {"[a]", "[b]]\r\n_"}}, "[b]]\r\n_ ]\r\n[b]]\r\n_"},
      {"[a]x[a]", {{"[a]", "\x81"}}, "\x81x\x81"},  // the "x" becomes a second byte
  };
  for (const Case& c : cases) {
    SegmentText text(c.text, kBrackets);
    std::string expected = c.text;
    for (const Step& step : c.steps) {
      text.replace_all(step.segment, step.replacement);
      expected = replace_text(expected, step.segment, step.replacement, true);
    }
    EXPECT_EQ(text.text(), expected) << c.text;
    EXPECT_EQ(text.text(), c.expected) << c.text;
  }
}

// Removing one segment after another, where each removal joins the text before the last one
// into a new segment start.
TEST(SegmentText, RemovalsThatJoinEarlierTextIntoNewSegments) {
  const std::pair<SegmentRules, std::string> cases[] = {
      {kMetaTags, "<me<me<me<meta >ta >ta charset>ta CHARSET=GBK>x"},
      {kMetaTags, "\x81<me<me<meta >ta >ta b>"},
      {kBrackets, "[[[a]b]c]d]"},
      {kBrackets, "\x81[[[a]b]c]d]"},
  };
  for (const auto& [rules, start] : cases) {
    SegmentText text(start, rules);
    std::string expected = start;
    for (int step = 0; step < 10; ++step) {
      const std::optional<GbkText> segment = text.first_segment();
      ASSERT_EQ(segment,
                reference::first_segment(expected, rules.open, rules.close, rules.ignore_case))
          << start << " step " << step;
      if (!segment) break;
      text.replace_all(*segment, "");
      expected = replace_text(expected, *segment, "", !rules.ignore_case);
      ASSERT_EQ(text.text(), expected) << start << " step " << step;
    }
  }
}

// Sequences of replacements, the segments taken from the text itself (so mostly on the fast
// path) or made up (the step-by-step path), with replacements that hold markers of their own.
TEST(SegmentText, AgreesWithReplaceTextOverSequencesOfReplacements) {
  std::mt19937 rng(7);
  const SegmentRules rule_sets[] = {kBrackets, kMetaTags, kWords};
  const reference::Pieces* piece_sets[] = {&reference::entry_pieces(), &reference::meta_pieces(),
                                           &reference::word_pieces()};
  for (int round = 0; round < 3000; ++round) {
    const SegmentRules& rules = rule_sets[round % 3];
    const reference::Pieces& pieces = *piece_sets[round % 3];
    std::string expected = reference::random_marker_text(rng, rng() % 30, pieces);
    SegmentText text(expected, rules);
    for (int step = 0; step < 8; ++step) {
      std::string segment;
      if (rng() % 4 != 0) {
        const std::optional<GbkText> first = text.first_segment();
        if (!first) break;
        segment = *first;
      } else {
        segment = reference::random_marker_text(rng, 1 + rng() % 3, pieces);
      }
      const std::string replacement =
          rng() % 2 ? std::string() : reference::random_marker_text(rng, rng() % 4, pieces);
      expected = replace_text(expected, segment, replacement, !rules.ignore_case);
      text.replace_all(segment, replacement);
      ASSERT_EQ(text.text(), expected) << "round " << round << " step " << step;
      ASSERT_EQ(text.first_segment(),
                reference::first_segment(expected, rules.open, rules.close, rules.ignore_case))
          << "round " << round << " step " << step << " " << ::testing::PrintToString(expected);
    }
  }
}

}  // namespace
}  // namespace quillrank
