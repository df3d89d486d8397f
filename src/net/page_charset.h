// Reading a fetched page's meta tags (a tag's value, the page's charset verdict) and converting
// the pages that count as UTF-8 to GBK. Pure functions, safe from any thread.
#pragma once

#include <string_view>

#include "text/gbk_text.h"

namespace quillrank {

inline constexpr std::string_view kGbkVerdict = "GBK2312";
inline constexpr std::string_view kUtf8Verdict = "UTF8";

// The value after `value_key` (an attribute name with its "=") in the first meta tag, in page
// order, that mentions `test_word` and has that key; letter case ignored throughout, blanks
// removed from the value. A tag's value is read whether quoted with " or ', or unquoted (the tag
// is then quoted at every "=", blank and ">"; `window` bytes after the key, blanks removed, tell
// whether it was). Tags that mention the word but lack the key yield a piece cut from the
// collected tags; a page without such tags yields the empty text. The scan stops at a "<meta "
// with no ">" after it. Only the first kMaxMetaScanBytes of the page are read: meta tags stand
// in a page's head, and the scan's cost grows with the square of what it reads.
inline constexpr std::size_t kMaxMetaScanBytes = 128 * 1024;
GbkText read_meta_value(std::string_view page, std::string_view test_word,
                        std::string_view value_key, int window);

// kGbkVerdict when the page's first charset declaration in a meta tag reads gb2312, gbk or
// gb18030 (any letter case); kUtf8Verdict otherwise, also when it declares none.
GbkText detect_page_charset(std::string_view page);

// The bytes up to the first zero byte, converted from UTF-8 to GBK: "?" for each character GBK
// lacks and for each invalid or truncated sequence. Never fails; empty input gives empty text.
GbkText utf8_to_gbk(const ByteBuffer& bytes);

}  // namespace quillrank
