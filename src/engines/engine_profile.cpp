#include "engines/engine_profile.h"

namespace quillrank {

GbkText percent_encode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  GbkText encoded;
  encoded.reserve(bytes.size() * 3);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded.push_back(ch);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[c >> 4]);
      encoded.push_back(kHex[c & 0x0F]);
    }
  }
  return encoded;
}

GbkText query_url(const EngineProfile& profile, std::string_view keyword, int page) {
  const GbkText page_value = profile.page_value == PageValue::offset
                                 ? to_text((static_cast<double>(page) - 1) * profile.page_size)
                                 : to_text(static_cast<std::int32_t>(page));
  return concat_text("http://", profile.host, profile.query_path, percent_encode(keyword),
                     profile.page_key, page_value, profile.query_tail);
}

}  // namespace quillrank
