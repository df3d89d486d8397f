// Conversion between GBK (code page 936) and UTF-8 for everything that crosses the program's
// edge. Never fails and never reads past its input: each character the target lacks and each
// invalid or truncated sequence becomes one "?".
#pragma once

#include <string>
#include <string_view>

#include "text/gbk_text.h"

namespace quillrank {

// UTF-8 to GBK. One "?" per character that GBK lacks and per maximal invalid subpart of UTF-8
// (the longest prefix of a well-formed sequence, or one byte when none starts there), as the
// Unicode standard recommends for replacement. Zero bytes pass through unchanged.
GbkText utf8_to_gbk_text(std::string_view utf8);

// GBK to UTF-8. A lead byte (0x81-0xFE) with a trail byte (0x40-0x7E, 0x80-0xFE) is one
// sequence of two bytes; a lead byte followed by anything else, and the bytes 0xFF, are one
// sequence of one byte. One "?" per sequence that GBK does not define.
std::string gbk_to_utf8(std::string_view gbk);

// UTF-16 (little- or big-endian, no byte order mark) to UTF-8. One "?" per unpaired surrogate
// and for an odd last byte. Zero code units pass through as zero bytes.
std::string utf16_to_utf8(std::string_view utf16, bool big_endian);

// True when `bytes` is well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// One step of a walk through UTF-8: the code point at the front of `bytes` (not empty) and the
// length of its sequence; for an ill-formed sequence kNoCodePoint and the length of its maximal
// invalid subpart (at least one byte).
inline constexpr char32_t kNoCodePoint = 0xFFFFFFFF;
struct Utf8Step {
  char32_t code_point;
  std::size_t length;
};
Utf8Step next_utf8(std::string_view bytes);

}  // namespace quillrank
