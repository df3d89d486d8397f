#include "text/gbk_text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "text/char_scan.h"

namespace quillrank {
namespace {

// A 1-based start turned into a 0-based begin offset, at least 0, without overflow.
std::size_t begin_offset(int start) { return start <= 1 ? 0 : static_cast<std::size_t>(start) - 1; }

}  // namespace

int text_length(std::string_view text) {
  return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
}

GbkText concat_text(std::initializer_list<std::string_view> pieces) {
  std::size_t total = 0;
  for (auto piece : pieces) total += piece.size();
  GbkText result;
  result.reserve(total);
  for (auto piece : pieces) result.append(piece);
  return result;
}

int compare_text(std::string_view a, std::string_view b) {
  const int order = a.compare(b);  // char_traits<char>::compare compares as unsigned bytes
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int find_text(std::string_view text, std::string_view sought, bool ignore_case) {
  return find_text(text, sought, 1, ignore_case);
}

int find_text(std::string_view text, std::string_view sought, int start, bool ignore_case) {
  const std::size_t begin = begin_offset(start);
  const bool something_to_scan = begin < text.size();
  if (sought.empty()) return something_to_scan ? 1 : -1;
  if (!something_to_scan) return -1;
  std::size_t hit;
  if (ignore_case) {
    hit = scan::find_folded_at_char_start(text, scan::fold_ascii_case(sought), begin);
  } else {
    hit = scan::find_at_char_start(text, sought, begin);
  }
  return hit == scan::npos || hit >= INT_MAX ? -1 : static_cast<int>(hit) + 1;
}

// A count of 0 copies the text; a negative count never runs out, like no count at all.
GbkText replace_text(std::string_view text, std::string_view sought, std::string_view replacement,
                     bool case_sensitive, ReplaceOptions options) {
  const std::size_t begin = options.start ? begin_offset(*options.start) : 0;
  long long remaining = options.count.value_or(-1);
  if (text.empty() || sought.empty() || begin >= text.size() || remaining == 0) {
    return GbkText(text);
  }
  std::string folded_text, folded_sought;
  std::string_view haystack = text, needle = sought;
  if (!case_sensitive) {
    folded_text = scan::fold_ascii_case(text);
    folded_sought = scan::fold_ascii_case(sought);
    haystack = folded_text;
    needle = folded_sought;
  }
  GbkText result;
  result.reserve(text.size());
  result.append(text.substr(0, begin));
  std::size_t cursor = begin;
  bool scanned_to_end = false;
  for (;;) {
    const std::size_t hit = scan::find_at_char_start(haystack, needle, cursor);
    if (hit == scan::npos) {
      scanned_to_end = true;
      break;
    }
    result.append(text.substr(cursor, hit - cursor));
    result.append(replacement);
    cursor = hit + sought.size();
    if (remaining > 0 && --remaining == 0) break;
  }
  std::string_view tail = text.substr(cursor);
  // A one-byte scan reaches a lone lead byte at the very end, and such a byte is dropped.
  if (scanned_to_end && sought.size() == 1 &&
      scan::next_char_start(text, cursor, text.size()) == text.size() + 1) {
    tail.remove_suffix(1);
  }
  result.append(tail);
  return result;
}

GbkText left_text(std::string_view text, int n) {
  if (n <= 0) return {};
  return GbkText(text.substr(0, static_cast<std::size_t>(n)));
}

GbkText right_text(std::string_view text, int n) {
  if (n <= 0) return {};
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(n), text.size());
  return GbkText(text.substr(text.size() - count));
}

GbkText mid_text(std::string_view text, int start, int n) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || n <= 0) return {};
  return GbkText(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

GbkText remove_spaces(std::string_view text) {
  GbkText result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!scan::is_lead_byte(text[i])) {
      if (c != 0x20) result.push_back(text[i]);
      ++i;
    } else if (i + 1 == text.size()) {
      break;  // a truncated character is dropped
    } else {
      if (!(c == 0xA1 && static_cast<unsigned char>(text[i + 1]) == 0xA1)) {
        result.append(text.substr(i, 2));
      }
      i += 2;
    }
  }
  return result;
}

GbkText to_lower(std::string_view text) {
  GbkText result(text);
  for (std::size_t i = 0; i < result.size();) {
    if (scan::is_lead_byte(result[i])) {
      i += 2;  // second bytes stay as they are; a truncated character stays too
    } else {
      result[i] = scan::fold_ascii(result[i]);
      ++i;
    }
  }
  return result;
}

namespace {

// Full-width forms of ASCII (A3 A1..A3 FE), the ideographic space, tilde and asterisks become
// their one-byte forms; a truncated character is dropped.
std::string fold_half_width(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!scan::is_lead_byte(text[i])) {
      folded.push_back(text[i]);
      ++i;
      continue;
    }
    if (i + 1 == text.size()) break;
    const auto x = static_cast<unsigned char>(text[i + 1]);
    if (c == 0xA3 && x >= 0xA1 && x <= 0xFE) {
      folded.push_back(static_cast<char>(x - 0x80));
    } else if (c == 0xA1 && x == 0xA1) {
      folded.push_back(' ');
    } else if (c == 0xA1 && x == 0xAB) {
      folded.push_back('~');
    } else if (c == 0xA1 && (x == 0xEE || x == 0xEF)) {
      folded.push_back('*');
    } else {
      folded.append(text.substr(i, 2));
    }
    i += 2;
  }
  return folded;
}

}  // namespace

std::int32_t to_integer(std::string_view text) {
  const std::string folded = fold_half_width(text);
  std::size_t i = 0;
  while (i < folded.size() && (folded[i] == ' ' || (folded[i] >= 0x09 && folded[i] <= 0x0D))) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
    negative = folded[i] == '-';
    ++i;
  }
  std::uint32_t value = 0;  // wraps modulo 2^32 by design
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    value = value * 10U + static_cast<std::uint32_t>(folded[i] - '0');
  }
  if (negative) value = 0U - value;
  return static_cast<std::int32_t>(value);
}

GbkText to_text(std::int32_t value) { return std::to_string(value); }

GbkText to_text(double value) {
  char digits[64];
  const int n = std::snprintf(digits, sizeof digits, "%.13g", value);
  return GbkText(digits, n > 0 ? static_cast<std::size_t>(n) : 0);
}

GbkText to_text(const ByteBuffer& buffer) {
  const std::size_t zero = buffer.bytes.find('\0');
  return GbkText(buffer.bytes.substr(0, zero));
}

GbkText to_text(ByteBuffer&& buffer) {
  const std::size_t zero = buffer.bytes.find('\0');
  if (zero != std::string::npos) buffer.bytes.resize(zero);
  return std::move(buffer.bytes);
}

ByteBuffer to_bytes(std::string_view text) { return ByteBuffer{std::string(text)}; }

std::int32_t truncate_number(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(x);
}

}  // namespace quillrank
