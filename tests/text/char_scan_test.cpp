// The one-pass walk over every occurrence, against a plain character-by-character reference.
#include "text/char_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace quillrank::scan {
namespace {

// Every character start (or every byte) where the folded text begins with `sought`, walking one
// character (or byte) at a time.
std::vector<std::size_t> reference(std::string_view text, std::string_view sought,
                                   Starts starts = Starts::characters) {
  const std::string folded = fold_ascii_case(text);
  std::vector<std::size_t> hits;
  for (std::size_t at = 0; at < folded.size();
       at += starts == Starts::characters && is_lead_byte(folded[at]) ? 2 : 1) {
    if (std::string_view(folded).substr(at).starts_with(sought)) hits.push_back(at);
  }
  return hits;
}

TEST(ForEachFolded, VisitsEveryOccurrenceAtACharacterStartAcrossWindows) {
  std::mt19937 random(7);
  // Pieces that make occurrences straddle window ends, overlap, and hide behind lead bytes.
  const std::string pieces[] = {"aa",
                                "AA",
                                "a",
                                "\xB0",
                                "\xB0"
                                "a",
                                "xyz",
                                std::string(2040, 'x')};
  for (int round = 0; round < 40; ++round) {
    std::string text;
    while (text.size() < 20000) text += pieces[random() % std::size(pieces)];
    for (const std::string_view sought : {"aa", "a",
                                          "\xB0"
                                          "a",
                                          "xaax"}) {
      for (const Starts starts : {Starts::characters, Starts::bytes}) {
        std::vector<std::size_t> seen;
        for_each_folded(text, sought, 0, starts, [&seen](std::size_t offset) {
          seen.push_back(offset);
          return true;
        });
        ASSERT_EQ(seen, reference(text, sought, starts)) << "round " << round << " " << sought;
      }
      const std::vector<std::size_t> all = reference(text, sought);
      EXPECT_EQ(find_folded_at_char_start(text, sought, 0), all.empty() ? npos : all.front());
    }
  }
}

// Hits told apart by the bytes before them, and after runs of two-byte characters too long for
// that (odd and even), from starts inside and before such runs.
TEST(FindAtCharStart, AgreesWithTheWalkAfterShortAndLongRunsOfTwoByteCharacters) {
  std::mt19937 random(11);
  const std::string pieces[] = {"a",
                                "\xB0\xA1",
                                "\xB0",
                                "\xB0"
                                "a",
                                "ab",
                                "|",
                                "\xB0|",
                                std::string(130, '\xC4'),
                                std::string(131, '\xC4'),
                                "\xC4"
                                "a"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    while (text.size() < 600) text += pieces[random() % std::size(pieces)];
    for (const std::string_view sought : {"a", "|", "ab",
                                          "\xC4"
                                          "a",
                                          "\xC4\xC4"}) {
      const std::vector<std::size_t> all = reference(text, sought);
      for (const std::size_t from : {std::size_t{0}, all.empty() ? 0 : all.front() + 1}) {
        // `from` must be a character start: the first one at or after it.
        const std::size_t start = next_char_start(text, 0, from);
        const auto expected =
            std::find_if(all.begin(), all.end(), [start](std::size_t hit) { return hit >= start; });
        ASSERT_EQ(find_at_char_start(text, sought, start), expected == all.end() ? npos : *expected)
            << "round " << round << " " << sought << " from " << start;
      }
    }
  }
}

TEST(ForEachFolded, StopsWhenTheVisitorSaysSo) {
  int visits = 0;
  for_each_folded("ab ab ab", "ab", 0, Starts::bytes,
                  [&visits](std::size_t) { return ++visits < 2; });
  EXPECT_EQ(visits, 2);
}

}  // namespace
}  // namespace quillrank::scan
