// %XX escaping (upper-case hex) of every byte that a predicate does not keep.
#pragma once

#include <string>
#include <string_view>

namespace quillrank {

template <typename Keep>
std::string percent_escape(std::string_view bytes, Keep keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (keep(c)) {
      escaped.push_back(ch);
    } else {
      escaped.push_back('%');
      escaped.push_back(kHex[c >> 4]);
      escaped.push_back(kHex[c & 0x0F]);
    }
  }
  return escaped;
}

}  // namespace quillrank
