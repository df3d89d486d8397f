#include "history/movement.h"

#include <charconv>
#include <ctime>

#include "engines/cell_texts.h"

namespace quillrank {
namespace {

constexpr std::size_t kMaxRankDigits = 6;

}  // namespace

std::optional<int> rank_from_cell(std::string_view gbk_text) {
  if (!gbk_text.starts_with(kRankOpen) || !gbk_text.ends_with(kRankClose)) return std::nullopt;
  const std::string_view digits =
      gbk_text.substr(kRankOpen.size(), gbk_text.size() - kRankOpen.size() - kRankClose.size());
  if (digits.empty() || digits.size() > kMaxRankDigits) return std::nullopt;
  int rank = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), rank);
  if (error != std::errc() || end != digits.data() + digits.size() || digits[0] == '+' ||
      rank < 1) {
    return std::nullopt;
  }
  return rank;
}

Movement movement(std::optional<int> current, std::optional<int> previous) {
  if (!current) return {};
  if (!previous) return {Movement::Kind::new_rank, 0};
  if (*current < *previous) return {Movement::Kind::up, *previous - *current};
  if (*current > *previous) return {Movement::Kind::down, *current - *previous};
  return {};
}

Movement cell_movement(std::string_view gbk_text, std::optional<int> previous) {
  if (gbk_text == kNotFoundText && previous) return {Movement::Kind::lost, 0};
  return movement(rank_from_cell(gbk_text), previous);
}

std::string movement_mark(const Movement& move) {
  switch (move.kind) {
    case Movement::Kind::up:
      return "↑" + std::to_string(move.places);
    case Movement::Kind::down:
      return "↓" + std::to_string(move.places);
    case Movement::Kind::new_rank:
      return "新";
    case Movement::Kind::lost:
      return "落";
    case Movement::Kind::none:
      break;
  }
  return {};
}

std::string movement_change(const Movement& move) {
  switch (move.kind) {
    case Movement::Kind::up:
      return "up " + std::to_string(move.places);
    case Movement::Kind::down:
      return "down " + std::to_string(move.places);
    case Movement::Kind::new_rank:
      return "new";
    case Movement::Kind::lost:
      return "lost";
    case Movement::Kind::none:
      break;
  }
  return {};
}

std::string format_time(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return std::string(text, length);
}

}  // namespace quillrank
