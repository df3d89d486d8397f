// GbkText, ByteBuffer and the fourteen text primitives every other part of Quillrank uses.
// All functions are pure, thread-safe and never throw; out-of-range arguments are clamped.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace quillrank {

// Code page 936 bytes with no zero byte inside. A byte of 0x80 or above starts a two-byte
// character that takes the next byte with it. Positions are 1-based byte positions; a search that
// finds nothing reports -1. The empty string is both "never set" and "empty".
using GbkText = std::string;

// A length-counted run of bytes that may hold zero bytes: page bodies and file contents.
struct ByteBuffer {
  std::string bytes;

  bool empty() const { return bytes.empty(); }
  std::size_t size() const { return bytes.size(); }
  friend bool operator==(const ByteBuffer&, const ByteBuffer&) = default;
};

// Number of bytes (not characters): two Chinese characters have length 4.
int text_length(std::string_view text);

// The pieces in the order given.
GbkText concat_text(std::initializer_list<std::string_view> pieces);
template <typename... Pieces>
GbkText concat_text(const Pieces&... pieces) {
  return concat_text({std::string_view(pieces)...});
}

// Byte-wise unsigned comparison: negative, zero or positive. Exact case and width.
int compare_text(std::string_view a, std::string_view b);

// Position of the first occurrence of `sought` at a character start, scanning from `start`
// (clamped to 1; the byte there is taken as a character start), or -1. With `ignore_case`,
// bytes A-Z on both sides (second bytes of characters too) compare as a-z.
int find_text(std::string_view text, std::string_view sought, bool ignore_case);
int find_text(std::string_view text, std::string_view sought, int start, bool ignore_case);

// `text` with occurrences of `sought` (at character starts) replaced, left to right, without
// overlaps and without rescanning what was inserted, from position `start` on, at most `count`
// times: no count or a negative one replaces all, 0 replaces none. Case folding as in find_text
// unless `case_sensitive`.
struct ReplaceOptions {
  std::optional<int> start = std::nullopt;
  std::optional<int> count = std::nullopt;
};
GbkText replace_text(std::string_view text, std::string_view sought, std::string_view replacement,
                     bool case_sensitive, ReplaceOptions options = {});

// Byte cuts; they never move a cut to a character boundary.
GbkText left_text(std::string_view text, int n);
GbkText right_text(std::string_view text, int n);
GbkText mid_text(std::string_view text, int start, int n);

// Drops half-width spaces (0x20) and full-width spaces (A1 A1 at a character start).
GbkText remove_spaces(std::string_view text);

// ASCII capitals of one-byte characters become small letters; two-byte characters stay.
GbkText to_lower(std::string_view text);

// Leading decimal number after full-width folding and white space, modulo 2^32; 0 without digits.
std::int32_t to_integer(std::string_view text);

// Decimal text of a number; the bytes of a buffer up to its first zero byte.
GbkText to_text(std::int32_t value);
GbkText to_text(double value);
GbkText to_text(const ByteBuffer& buffer);
GbkText to_text(ByteBuffer&& buffer);

ByteBuffer to_bytes(std::string_view text);

// Integer part toward zero; NaN gives 0 and values beyond the 32-bit range are clamped to it.
std::int32_t truncate_number(double x);

}  // namespace quillrank
