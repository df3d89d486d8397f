#include "net/page_charset.h"

#include "text/char_scan.h"
#include "text/extract.h"
#include "text/segment_text.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// A tag that mentions the test word, with ' turned into ". When the bytes after the value key
// hold no double quote the value is unquoted, and so the tag gets quotes at each "=", blank and
// ">": name=value becomes name="value", the form the value is cut from.
GbkText quoted_tag(std::string_view tag, std::string_view value_key, int window) {
  GbkText quoted = replace_text(tag, "'", "\"", false);
  const GbkText squeezed = remove_spaces(quoted);
  const int at = find_text(squeezed, value_key, true);
  const GbkText after_key = at == -1 ? GbkText() : mid_text(squeezed, at, window);
  if (find_text(after_key, "\"", true) == -1) {
    quoted = replace_text(quoted, "=", "=\"", false);
    quoted = replace_text(quoted, " ", "\"", false);
    quoted = replace_text(quoted, ">", "\">", false);
  }
  return quoted;
}

}  // namespace

GbkText read_meta_value(std::string_view page, std::string_view test_word,
                        std::string_view value_key, int window) {
  page = scan::head(page, kMaxMetaScanBytes);
  // Each tag is taken once, its copies removed with it, in the order the page gives them.
  SegmentText tags(page, SegmentRules{.open = "<meta ", .close = '>', .ignore_case = true});
  GbkText collected;
  while (std::optional<GbkText> tag = tags.first_segment()) {
    tags.replace_all(*tag, "");
    if (find_text(*tag, test_word, true) == -1) continue;
    collected += quoted_tag(*tag, value_key, window);
  }
  collected = remove_spaces(collected);
  return extract_between(collected, concat_text(value_key, "\""), "\"", false, false);
}

GbkText detect_page_charset(std::string_view page) {
  const GbkText charset = to_lower(read_meta_value(page, "charset", "charset=", 9));
  const bool gbk = charset == "gb2312" || charset == "gbk" || charset == "gb18030";
  return GbkText(gbk ? kGbkVerdict : kUtf8Verdict);
}

GbkText utf8_to_gbk(const ByteBuffer& bytes) {
  const std::string_view all = bytes.bytes;
  return utf8_to_gbk_text(all.substr(0, all.find('\0')));
}

}  // namespace quillrank
