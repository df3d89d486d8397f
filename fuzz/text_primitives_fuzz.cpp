// The fast search and replace against the step-by-step rules; cutting primitives stay in bounds.
#include <cstdlib>

#include "fuzz_input.h"
#include "support/reference_text.h"
#include "text/gbk_text.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const int start = static_cast<std::int8_t>(input.byte());
  const std::uint8_t flags = input.byte();
  const std::string sought = input.text(6);
  const std::string replacement = input.text(4);
  const std::string text = input.remaining();
  const bool fold = flags & 1;

  const int found = find_text(text, sought, start, fold);
  if (found != reference::find_text(text, sought, start, fold)) std::abort();
  if (found > 0 && !sought.empty() &&
      !reference::bytes_equal(std::string_view(text).substr(found - 1, sought.size()), sought,
                              fold)) {
    std::abort();
  }
  const std::optional<int> count = flags & 2 ? std::optional<int>(1) : std::nullopt;
  if (replace_text(text, sought, replacement, !fold, {.start = start, .count = count}) !=
      reference::replace_text(text, sought, replacement, !fold, start, count)) {
    std::abort();
  }
  const int n = static_cast<std::int8_t>(flags);
  if (left_text(text, n).size() > text.size() || right_text(text, n).size() > text.size() ||
      mid_text(text, start, n).size() > text.size()) {
    std::abort();
  }
  if (remove_spaces(text).size() > text.size() || to_lower(text).size() != text.size()) {
    std::abort();
  }
  to_integer(text);
  return 0;
}
