// The cookie-file line reader on arbitrary text: a cookie or nothing, never a crash; a cookie
// read writes back as a line that reads as the same cookie, and merging it into a file's lines
// keeps exactly one line for it.
#include <cstdlib>
#include <string_view>

#include "net/cookie_line.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto cookie = parse_cookie_line(text);
  if (!cookie) return 0;
  const std::string line = cookie_line_text(*cookie);
  const auto again = parse_cookie_line(line);
  if (!again || *again != *cookie) std::abort();
  const auto merged = merge_cookie({std::string(text), line}, *cookie);
  if (merged.size() != 2 || merged[0] != line) std::abort();
  if (merge_cookie(merged, *cookie, true).size() != 1) std::abort();
  return 0;
}
