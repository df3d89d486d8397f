#include "keywords/keyword_file.h"

#include <algorithm>

#include "text/char_scan.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

bool is_ideograph(char32_t c) {
  return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF);
}

// What a Chinese list holds above U+07FF besides ideographs: general punctuation (dashes,
// quotes, ellipsis), CJK punctuation and kana, full-width forms.
bool is_chinese_text_character(char32_t c) {
  return is_ideograph(c) || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x30FF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

// GBK pairs that happen to be well-formed UTF-8 decode mostly to two-byte sequences (Latin,
// Greek, Cyrillic letters) or to three-byte characters far from Chinese; a real UTF-8 Chinese
// list decodes to ideographs. Two-byte characters are allowed beside them (a middle dot "·").
bool reads_as_utf8_chinese(std::string_view bytes) {
  bool ideograph = false;
  while (!bytes.empty()) {
    const Utf8Step step = next_utf8(bytes);
    if (step.code_point == kNoCodePoint) return false;
    if (step.code_point >= 0x800) {
      if (!is_chinese_text_character(step.code_point)) return false;
      ideograph = ideograph || is_ideograph(step.code_point);
    }
    bytes.remove_prefix(step.length);
  }
  return ideograph;
}

// The text up to its first zero byte; `ended` says whether one was there.
std::string_view before_zero(std::string_view bytes, bool& ended) {
  const std::size_t zero = bytes.find('\0');
  ended = zero != std::string_view::npos;
  return bytes.substr(0, zero);
}

// UTF-16 up to its first zero code unit (not byte: "a" is 61 00).
std::string_view before_zero_unit(std::string_view units, bool& ended) {
  ended = false;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    if (units[i] == '\0' && units[i + 1] == '\0') {
      ended = true;
      return units.substr(0, i);
    }
  }
  return units;
}

std::size_t question_marks(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '?'));
}

// How many sequences of `gbk` the code page does not define: the codec writes one "?" for each.
// Converted a piece at a time (cut at character starts), so a long list is never copied whole.
std::size_t undefined_gbk_sequences(std::string_view gbk) {
  constexpr std::size_t kPiece = 1 << 20;
  std::size_t undefined = 0;
  while (!gbk.empty()) {
    std::string_view piece = scan::head(gbk, kPiece);
    if (piece.empty()) piece = gbk;  // a lone lead byte at the end
    undefined += question_marks(gbk_to_utf8(piece)) - question_marks(piece);
    gbk.remove_prefix(piece.size());
  }
  return undefined;
}

// Every LF and every lone CR becomes CR LF. Safe on GBK bytes: no trail byte is below 0x40.
GbkText with_crlf_line_ends(std::string_view text) {
  GbkText out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      out += "\r\n";
    } else if (c == '\r') {
      out += "\r\n";
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

DecodedKeywordFile decode_keyword_file(const ByteBuffer& file) {
  std::string_view bytes = file.bytes;
  DecodedKeywordFile decoded;
  GbkText text;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    const bool big_endian = bytes[0] == '\xFE';
    decoded.encoding = big_endian ? KeywordFileEncoding::utf16be : KeywordFileEncoding::utf16le;
    const std::string_view units = before_zero_unit(bytes.substr(2), decoded.ended_at_zero);
    const std::string utf8 = utf16_to_utf8(units, big_endian);
    text = utf8_to_gbk_text(utf8);
    // A "?" written in the file is one unit "?" and its other byte zero.
    std::size_t written = 0;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
      written += units[i + big_endian] == '?' && units[i + !big_endian] == '\0';
    }
    decoded.unreadable = question_marks(text) - written;
  } else {
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    if (bom) bytes.remove_prefix(3);
    bytes = before_zero(bytes, decoded.ended_at_zero);
    if (bom || reads_as_utf8_chinese(bytes)) {
      decoded.encoding = KeywordFileEncoding::utf8;
      text = utf8_to_gbk_text(bytes);
      decoded.unreadable = question_marks(text) - question_marks(bytes);
    } else {
      decoded.unreadable = undefined_gbk_sequences(bytes);
      decoded.text = with_crlf_line_ends(bytes);
      return decoded;
    }
  }
  decoded.text = with_crlf_line_ends(text);
  return decoded;
}

}  // namespace quillrank
