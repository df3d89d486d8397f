#include "keywords/keyword_file.h"

#include <algorithm>

#include "text/text_codec.h"

namespace quillrank {

GbkText decode_keyword_file(const ByteBuffer& file) {
  std::string_view bytes = file.bytes;
  const std::string_view bom = "\xEF\xBB\xBF";
  const bool has_bom = bytes.starts_with(bom);
  if (has_bom) bytes.remove_prefix(bom.size());
  bytes = bytes.substr(0, bytes.find('\0'));
  const bool non_ascii = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
  if (has_bom || (non_ascii && is_valid_utf8(bytes))) return utf8_to_gbk_text(bytes);
  return GbkText(bytes);
}

}  // namespace quillrank
