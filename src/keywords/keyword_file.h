// Bytes of a keyword list file (or the batch command's input) to the box's GBK text: which
// encoding a file is read in, its line ends, and what could not be read.
#pragma once

#include <cstddef>

#include "text/gbk_text.h"

namespace quillrank {

// The largest keyword list read; a longer file is refused whole rather than cut.
inline constexpr std::size_t kMaxKeywordFileBytes = std::size_t{64} << 20;

enum class KeywordFileEncoding { gbk, utf8, utf16le, utf16be };

struct DecodedKeywordFile {
  GbkText text;
  KeywordFileEncoding encoding = KeywordFileEncoding::gbk;
  bool ended_at_zero = false;  // a zero character ended the list before the file's end
  std::size_t unreadable = 0;  // characters that became "?": ill-formed, or without a GBK form
};

// The encoding: a byte order mark decides (UTF-8, UTF-16 LE or BE; the mark is dropped).
// Without one, a file is UTF-8 only when it is well-formed UTF-8 that reads as Chinese: at least
// one CJK ideograph, and every character from U+0800 up a CJK ideograph, CJK or general
// punctuation, kana or a full-width form. Everything else is GBK as it stands, so a list this
// program exported (GBK) always reads back unchanged. The text ends at the first zero character;
// every LF and every lone CR becomes CR LF, so a line is a line whichever end it was written with.
DecodedKeywordFile decode_keyword_file(const ByteBuffer& file);

}  // namespace quillrank
