// Literal, unoptimised statements of the text rules, step by step: the oracle that the fuzz
// targets and the randomised tests hold the fast implementations against. Test use only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank::reference {

inline bool bytes_equal(std::string_view a, std::string_view b, bool fold) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (fold) {
      if (x >= 'A' && x <= 'Z') x += 0x20;
      if (y >= 'A' && y <= 'Z') y += 0x20;
    }
    if (x != y) return false;
  }
  return true;
}

inline long long begin_of(std::optional<int> start) {
  return start ? std::max<long long>(static_cast<long long>(*start) - 1, 0) : 0;
}

inline int find_text(std::string_view text, std::string_view sought, std::optional<int> start,
                     bool ignore_case) {
  const long long L = text.size(), M = sought.size(), b = begin_of(start);
  long long R = b >= L ? 0 : L - b;
  long long pos = b;
  if (M == 0) return R > 0 ? 1 : -1;
  while (R >= M) {
    if (bytes_equal(text.substr(pos, M), sought, ignore_case)) return static_cast<int>(pos + 1);
    if (static_cast<unsigned char>(text[pos]) >= 0x80) {
      if (pos + 1 == L) return -1;
      ++pos;
      --R;
    }
    ++pos;
    --R;
  }
  return -1;
}

inline std::string replace_text(std::string_view text, std::string_view sought,
                                std::string_view replacement, bool case_sensitive,
                                std::optional<int> start, std::optional<int> count) {
  const long long L = text.size(), M = sought.size(), b = begin_of(start);
  if (L == 0 || M == 0 || b >= L || (count && *count == 0)) return std::string(text);
  long long remaining = count.value_or(-1);
  std::string out(text.substr(0, b));
  long long pos = b;
  while (L - pos >= M) {
    if (bytes_equal(text.substr(pos, M), sought, !case_sensitive)) {
      out += replacement;
      pos += M;
      if (remaining > 0 && --remaining == 0) break;
    } else if (static_cast<unsigned char>(text[pos]) >= 0x80) {
      if (pos + 1 == L) {
        pos = L;  // dropped, and the scan ends
        break;
      }
      out += text.substr(pos, 2);
      pos += 2;
    } else {
      out += text[pos];
      ++pos;
    }
  }
  out += text.substr(pos);
  return out;
}

}  // namespace quillrank::reference
