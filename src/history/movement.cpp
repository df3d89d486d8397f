#include "history/movement.h"

#include <ctime>

#include "engines/cell_texts.h"

namespace quillrank {

Movement movement(std::optional<int> current, std::optional<int> previous) {
  if (!current) return {};
  if (!previous) return {Movement::Kind::new_rank, 0};
  if (*current < *previous) return {Movement::Kind::up, *previous - *current};
  if (*current > *previous) return {Movement::Kind::down, *current - *previous};
  return {};
}

Movement result_movement(const RowResult& result, std::optional<int> previous) {
  if (result.rank > 0) return movement(result.rank, previous);
  if (result.text == kNotFoundText && previous) return {Movement::Kind::lost, 0};
  return {};
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
