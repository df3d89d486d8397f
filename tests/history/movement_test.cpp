// The movement marks and the rank read from a cell text.
#include "history/movement.h"

#include <gtest/gtest.h>

#include "engines/cell_texts.h"

namespace quillrank {
namespace {

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

// A result against the previous rank: "排在300后" after a rank is a mark of its own; a result
// that holds no answer is no move, whatever came before. The rank is the result's own, never
// read from its text.
TEST(ResultMovement, MarksARankThatFellOutOfTheResults) {
  using Kind = Movement::Kind;
  const std::string rank5 = std::string(kRankOpen) + "5" + std::string(kRankClose);
  const struct {
    std::string text;
    int rank;
    std::optional<int> previous;
    Movement move;
    std::string mark, change;
  } cases[] = {
      {std::string(kNotFoundText), 0, 7, {Kind::lost, 0}, "落", "lost"},
      {std::string(kNotFoundText), 0, std::nullopt, {Kind::none, 0}, "", ""},
      {std::string(kBlockedText), 0, 7, {Kind::none, 0}, "", ""},
      {std::string(kQueryFailedText), 0, 7, {Kind::none, 0}, "", ""},
      {rank5, 5, 7, {Kind::up, 2}, "↑2", "up 2"},
      {rank5, 5, std::nullopt, {Kind::new_rank, 0}, "新", "new"},
      {"another wording", 5, 5, {Kind::none, 0}, "", ""},
      {"another wording", 3, 5, {Kind::up, 2}, "↑2", "up 2"},
  };
  for (const auto& c : cases) {
    RowResult result;
    result.text = GbkText(c.text);
    result.rank = c.rank;
    const Movement move = result_movement(result, c.previous);
    EXPECT_EQ(move, c.move) << c.mark;
    EXPECT_EQ(movement_mark(move), c.mark);
    EXPECT_EQ(movement_change(move), c.change);
  }
}

}  // namespace
}  // namespace quillrank
