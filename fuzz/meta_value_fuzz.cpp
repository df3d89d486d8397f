// read_meta_value against the step-by-step removal of every copy of each tag, on pages dense in
// meta-tag pieces; for both readings the program makes and for made-up words, keys and windows.
#include <cstdlib>

#include "fuzz_input.h"
#include "net/page_charset.h"
#include "support/expansion_reference.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const std::uint8_t mode = input.byte();
  std::string word = "charset", key = "charset=";
  int window = 9;
  if (mode % 3 == 1) {
    word = "keywords", key = "content=", window = 10;
  } else if (mode % 3 == 2) {
    word = input.text(4);
    key = input.text(4);
    window = static_cast<std::int8_t>(input.byte());
  }
  const std::string page = reference::marker_text_from(input.remaining(), reference::meta_pieces());
  if (read_meta_value(page, word, key, window) !=
      reference::read_meta_value(page, word, key, window)) {
    std::abort();
  }
  return 0;
}
