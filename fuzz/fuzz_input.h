// Splits one fuzz input into a few texts and small numbers, so a target can fuzz operations that
// take several arguments.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillrank::fuzzing {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  // A text of up to `max` bytes, its length taken from the next byte; zero bytes are dropped
  // because a GbkText holds none.
  std::string text(std::size_t max) {
    const std::size_t n = std::min<std::size_t>({byte() % (max + 1), rest_.size()});
    std::string piece(rest_.substr(0, n));
    rest_.remove_prefix(n);
    std::erase(piece, '\0');
    return piece;
  }
  std::string remaining() {
    std::string piece(rest_);
    rest_ = {};
    std::erase(piece, '\0');
    return piece;
  }

 private:
  std::string_view rest_;
};

}  // namespace quillrank::fuzzing
