// The movement marks and the rank read from a cell text.
#include "history/movement.h"

#include <gtest/gtest.h>

#include "engines/cell_texts.h"

namespace quillrank {
namespace {

TEST(RankFromCell, ReadsOnlyDigitsBetweenTheRankMarks) {
  const struct {
    std::string_view text;
    std::optional<int> rank;
  } cases[] = {
      {"\xB5\xDA"
       "3\xC3\xFB",
       3},  // 第3名
      {"\xB5\xDA"
       "300\xC3\xFB",
       300},
      {"\xB5\xDA"
       "0\xC3\xFB",
       std::nullopt},  // no rank 0
      {"\xB5\xDA"
       "\xC3\xFB",
       std::nullopt},  // 第名
      {"\xB5\xDA"
       "-1\xC3\xFB",
       std::nullopt},
      {"\xB5\xDA"
       "+1\xC3\xFB",
       std::nullopt},
      {"\xB5\xDA"
       "1.5\xC3\xFB",
       std::nullopt},
      {"\xB5\xDA"
       "12345678901\xC3\xFB",
       std::nullopt},
      {"\xB5\xDA"
       "3\xC3\xFB!",
       std::nullopt},
      {"3", std::nullopt},
      {kNotFoundText, std::nullopt},
      {kBlockedText, std::nullopt},
      {kQueryingText, std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(rank_from_cell(c.text), c.rank) << c.text;
}

TEST(Movement, ComparesTheRankWithThePreviousOne) {
  using Kind = Movement::Kind;
  const struct {
    std::optional<int> current, previous;
    Movement move;
    std::string mark, change;
  } cases[] = {
      {5, 8, {Kind::up, 3}, "↑3", "up 3"},
      {8, 5, {Kind::down, 3}, "↓3", "down 3"},
      {1, 300, {Kind::up, 299}, "↑299", "up 299"},
      {4, 4, {Kind::none, 0}, "", ""},
      {4, std::nullopt, {Kind::new_rank, 0}, "新", "new"},
      {std::nullopt, 4, {Kind::none, 0}, "", ""},
      {std::nullopt, std::nullopt, {Kind::none, 0}, "", ""},
  };
  for (const auto& c : cases) {
    const Movement move = movement(c.current, c.previous);
    EXPECT_EQ(move, c.move) << c.current.value_or(0) << " " << c.previous.value_or(0);
    EXPECT_EQ(movement_mark(move), c.mark);
    EXPECT_EQ(movement_change(move), c.change);
  }
}

// A cell's text against the previous rank: "排在300后" after a rank is a mark of its own; a
// cell that holds no answer is no move, whatever came before.
TEST(CellMovement, MarksARankThatFellOutOfTheResults) {
  using Kind = Movement::Kind;
  const std::string rank5 = std::string(kRankOpen) + "5" + std::string(kRankClose);
  const struct {
    std::string text;
    std::optional<int> previous;
    Movement move;
    std::string mark, change;
  } cases[] = {
      {std::string(kNotFoundText), 7, {Kind::lost, 0}, "落", "lost"},
      {std::string(kNotFoundText), std::nullopt, {Kind::none, 0}, "", ""},
      {std::string(kBlockedText), 7, {Kind::none, 0}, "", ""},
      {std::string(kQueryFailedText), 7, {Kind::none, 0}, "", ""},
      {std::string(kQueryingText), 7, {Kind::none, 0}, "", ""},
      {rank5, 7, {Kind::up, 2}, "↑2", "up 2"},
      {rank5, std::nullopt, {Kind::new_rank, 0}, "新", "new"},
  };
  for (const auto& c : cases) {
    const Movement move = cell_movement(c.text, c.previous);
    EXPECT_EQ(move, c.move) << c.mark;
    EXPECT_EQ(movement_mark(move), c.mark);
    EXPECT_EQ(movement_change(move), c.change);
  }
}

}  // namespace
}  // namespace quillrank
