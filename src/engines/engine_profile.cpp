#include "engines/engine_profile.h"

#include "text/percent_escape.h"
#include "text/text_codec.h"

namespace quillrank {

GbkText percent_encode(std::string_view bytes) {
  return percent_escape(bytes, [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
  });
}

GbkText query_url(const EngineProfile& profile, std::string_view keyword, int page,
                  int results_read) {
  GbkText page_value;
  switch (profile.page_value) {
    case PageValue::offset:
      page_value = to_text((static_cast<double>(page) - 1) * profile.page_size);
      break;
    case PageValue::number:
      page_value = to_text(static_cast<std::int32_t>(page));
      break;
    case PageValue::counted:
      page_value = to_text(static_cast<std::int32_t>(results_read));
      break;
  }
  const std::string encoded = profile.keyword_encoding == KeywordEncoding::utf8
                                  ? percent_encode(gbk_to_utf8(keyword))
                                  : percent_encode(keyword);
  return concat_text(profile.scheme, "://", profile.host, profile.query_path, encoded,
                     profile.page_key, page_value, profile.query_tail);
}

}  // namespace quillrank
