// The text codec on glibc iconv ("GBK" is code page 936; "CP936" is its alias). A Windows build
// puts MultiByteToWideChar / WideCharToMultiByte behind the same three functions instead.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/text_codec.h"

namespace quillrank {
namespace {

// Length of the UTF-8 sequence at p[0..n): the whole character when well-formed (valid = true),
// otherwise its maximal invalid subpart, at least one byte.
std::size_t utf8_sequence(const unsigned char* p, std::size_t n, bool& valid) {
  const unsigned char c = p[0];
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the first trail byte
  if (c < 0x80) {
    valid = true;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    valid = false;
    return 1;
  }
  std::size_t len = 1;
  for (; len <= need && len < n; ++len) {
    const unsigned char t = p[len];
    if (len == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) break;
  }
  valid = len == need + 1;
  return len;
}

std::size_t gbk_sequence(const unsigned char* p, std::size_t n) {
  if (p[0] < 0x81 || p[0] > 0xFE || n < 2) return 1;
  const unsigned char t = p[1];
  return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE) ? 2 : 1;
}

// One iconv descriptor per thread and direction: descriptors keep shift state and are not
// safe to share between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; at each sequence iconv refuses, `skip` says how many bytes to step
  // over, and one "?" takes their place.
  template <typename Skip>
  std::string convert(std::string_view in, std::size_t out_per_in, Skip skip) {
    std::string out(in.size() * out_per_in + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    std::size_t written = 0;
    while (src_left > 0) {
      char* dst = out.data() + written;
      std::size_t dst_left = out.size() - written;
      if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: ASCII still passes, everything else is unconvertible.
        if (written == out.size()) out.resize(out.size() * 2 + 16);
        if (static_cast<unsigned char>(*src) < 0x80) {
          out[written++] = *src++;
          --src_left;
          continue;
        }
      } else {
        const std::size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
        const int error = errno;
        written = out.size() - dst_left;
        if (rc != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) {
          out.resize(out.size() * 2 + 16);
          continue;
        }
        // EILSEQ (invalid or unconvertible) or EINVAL (incomplete at the end): replace, go on.
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
      const std::size_t step =
          std::min(src_left, skip(reinterpret_cast<const unsigned char*>(src), src_left));
      src += step;
      src_left -= step;
      if (written == out.size()) out.resize(out.size() * 2 + 16);
      out[written++] = '?';
    }
    out.resize(written);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

GbkText utf8_to_gbk_text(std::string_view utf8) {
  thread_local Converter converter("GBK", "UTF-8");
  return converter.convert(utf8, 1, [](const unsigned char* p, std::size_t n) {
    bool valid;
    return utf8_sequence(p, n, valid);
  });
}

std::string gbk_to_utf8(std::string_view gbk) {
  thread_local Converter converter("UTF-8", "GBK");
  return converter.convert(gbk, 2, gbk_sequence);
}

std::string utf16_to_utf8(std::string_view utf16, bool big_endian) {
  thread_local Converter little("UTF-8", "UTF-16LE");
  thread_local Converter big("UTF-8", "UTF-16BE");
  // A refused unit is an unpaired surrogate (two bytes) or the odd last byte.
  return (big_endian ? big : little).convert(utf16, 2, [](const unsigned char*, std::size_t n) {
    return std::min<std::size_t>(n, 2);
  });
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < bytes.size();) {
    // Pages are mostly ASCII: eight such bytes at a time.
    std::uint64_t word;
    while (i + sizeof word <= bytes.size() &&
           (std::memcpy(&word, p + i, sizeof word), (word & 0x8080808080808080u) == 0)) {
      i += sizeof word;
    }
    if (i == bytes.size()) break;
    bool valid;
    i += utf8_sequence(p + i, bytes.size() - i, valid);
    if (!valid) return false;
  }
  return true;
}

Utf8Step next_utf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  bool valid;
  const std::size_t length = utf8_sequence(p, bytes.size(), valid);
  if (!valid) return {kNoCodePoint, length};
  // The lead byte keeps 7, 5, 4 or 3 payload bits; each trail byte 6.
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t code_point = p[0] & kLeadMask[length];
  for (std::size_t k = 1; k < length; ++k) code_point = (code_point << 6) | (p[k] & 0x3F);
  return {code_point, length};
}

}  // namespace quillrank
