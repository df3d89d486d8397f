#include "text/char_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace quillrank::scan {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t load_word(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Raw substring search from `from`; npos when absent. The first byte is found with memchr and
// the rest compared in place: markers are short, and unlike memmem this never looks at the
// haystack past the hit, so repeated searches through one long text stay linear.
std::size_t find_bytes(std::string_view text, std::string_view sought, std::size_t from) {
  if (from > text.size() || text.size() - from < sought.size()) return npos;
  const char* const end = text.data() + text.size();
  const char* const last_start = end - sought.size();
  const char* cursor = text.data() + from;
  while (cursor <= last_start) {
    const void* hit =
        std::memchr(cursor, sought[0], static_cast<std::size_t>(last_start - cursor) + 1);
    if (hit == nullptr) return npos;
    const char* candidate = static_cast<const char*>(hit);
    if (std::memcmp(candidate + 1, sought.data() + 1, sought.size() - 1) == 0) {
      return static_cast<std::size_t>(candidate - text.data());
    }
    cursor = candidate + 1;
  }
  return npos;
}

// Whether `hit` starts a character, told from the bytes just before it where they can tell:
// the byte after one below 0x80 always starts a character (such a byte ends the character it
// belongs to), and in the run of bytes of 0x80 and above that follows, characters start at even
// distances. `boundary` (<= hit) is a known character start. nullopt when no byte below 0x80
// stands within the last 64 bytes before `hit` and after `boundary`: then only a walk can tell.
std::optional<bool> starts_char_nearby(std::string_view text, std::size_t boundary,
                                       std::size_t hit) {
  constexpr std::size_t kLookBack = 64;
  std::size_t run = 0;
  for (std::size_t pos = hit; pos > boundary; --pos, ++run) {
    if (!is_lead_byte(text[pos - 1])) return run % 2 == 0;
    if (run == kLookBack) return std::nullopt;
  }
  return run % 2 == 0;
}

}  // namespace

std::size_t next_char_start(std::string_view text, std::size_t pos, std::size_t target) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  target = std::min(target, text.size());
  while (pos < target) {
    // One-byte characters: every byte is a character start, so skip them a word at a time.
    while (pos + 8 <= target && (load_word(p + pos) & kHighBits) == 0) pos += 8;
    while (pos < target && p[pos] < 0x80) ++pos;
    if (pos >= target) break;
    // In a run of bytes of 0x80 and above that begins at a character start, the characters
    // start at even distances from the run's first byte; the last lead byte of a run of odd
    // length takes the byte after the run with it.
    const std::size_t run_start = pos;
    while (pos + 8 <= target && (load_word(p + pos) & kHighBits) == kHighBits) pos += 8;
    while (pos < target && p[pos] >= 0x80) ++pos;
    const bool odd = (pos - run_start) % 2 == 1;
    if (pos == target) return odd ? target + 1 : target;
    if (odd) ++pos;
  }
  return pos;
}

std::string_view head(std::string_view text, std::size_t max) {
  if (text.size() <= max) return text;
  const std::size_t end = next_char_start(text, 0, max);
  return text.substr(0, end > max ? max - 1 : end);
}

std::size_t find_at_char_start(std::string_view text, std::string_view sought, std::size_t from) {
  // Most hits are told apart by the few bytes before them; a walk from the last known start
  // is needed only after a long run of two-byte characters, and then it never walks a byte
  // twice.
  std::size_t boundary = from;
  std::size_t pos = from;
  for (;;) {
    const std::size_t hit = find_bytes(text, sought, pos);
    if (hit == npos) return npos;
    std::optional<bool> starts = starts_char_nearby(text, boundary, hit);
    if (!starts) {
      boundary = next_char_start(text, boundary, hit);
      starts = boundary == hit;
    }
    if (*starts) return hit;
    pos = hit + 1;  // the hit is a second byte: the next character starts after it
  }
}

std::size_t find_folded_at_char_start(std::string_view text, std::string_view folded_sought,
                                      std::size_t from) {
  std::size_t found = npos;
  for_each_folded(text, folded_sought, from, Starts::characters, [&found](std::size_t offset) {
    found = offset;
    return false;
  });
  return found;
}

void for_each_folded(std::string_view text, std::string_view folded_sought, std::size_t from,
                     Starts starts, const std::function<bool(std::size_t offset)>& visit) {
  const bool any_byte = starts == Starts::bytes;
  const auto find = [&](const std::string& window, std::size_t at) {
    return any_byte ? window.find(folded_sought, at)
                    : find_at_char_start(window, folded_sought, at);
  };
  // Windows overlap by the sought length less one, so an occurrence across two windows is seen
  // whole in the first; a window always begins at a character start. They start small, for the
  // many searches that find early, and grow to a size that keeps the copying cheap.
  std::size_t window = 2 * 1024;
  std::size_t pos = from;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.size(), pos + window);
    window = std::min<std::size_t>(window * 2, 64 * 1024);
    const std::string folded =
        fold_ascii_case(text.substr(pos, end - pos + folded_sought.size() - 1));
    std::size_t resume = npos;  // past the last occurrence, when that is past the window's end
    for (std::size_t hit = find(folded, 0); hit != npos && hit < end - pos;) {
      if (!visit(pos + hit)) return;
      const std::size_t next = hit + (!any_byte && is_lead_byte(folded[hit]) ? 2 : 1);
      if (next >= end - pos) {
        resume = pos + next;
        break;
      }
      hit = find(folded, next);
    }
    pos = resume != npos ? resume : any_byte ? end : next_char_start(text, pos, end);
  }
}

std::string fold_ascii_case(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = fold_ascii(c);
  return folded;
}

}  // namespace quillrank::scan
