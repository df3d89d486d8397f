// extract_between: without markers the piece is a substring of the text; with markers it is
// left + that piece + right (or the one-marker forms).
#include <cstdlib>

#include "fuzz_input.h"
#include "text/extract.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const std::uint8_t flags = input.byte();
  const std::string left = input.text(5);
  const std::string right = input.text(5);
  const std::string text = input.remaining();
  const bool case_sensitive = flags & 1;

  const GbkText piece = extract_between(text, left, right, false, case_sensitive);
  if (!piece.empty() && text.find(piece) == std::string::npos) std::abort();
  const GbkText marked = extract_between(text, left, right, true, case_sensitive);
  const GbkText expected = left.empty()    ? piece + right
                           : right.empty() ? left + piece
                                           : left + piece + right;
  if (marked != expected) std::abort();
  return 0;
}
