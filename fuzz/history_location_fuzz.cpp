// The history location as it is shown, on arbitrary text: never a crash, and neither the
// password of a URL's user part nor a password parameter's value shows.
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings.h"

using namespace quillrank;

namespace {

// Whether `secret` shows in `shown` though the masked text could not hold it by chance.
bool leaked(std::string_view secret, const std::string& shown, const std::string& masked) {
  return !secret.empty() && secret.find('*') == std::string_view::npos &&
         masked.find(secret) == std::string::npos && shown.find(secret) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string shown = shown_location(text);
  const std::size_t scheme = text.find("://");
  if (scheme == std::string_view::npos) {
    if (shown != text) std::abort();  // a file path shows as it is
    return 0;
  }
  const std::size_t start = scheme + 3;
  const std::size_t end = std::min(text.find('?', start), text.size());
  const std::size_t at = text.rfind('@', end - 1);
  const std::size_t colon = text.find(':', start);
  if (at != std::string_view::npos && at >= start && colon < at) {
    const std::string_view password = text.substr(colon + 1, at - colon - 1);
    const std::string masked =
        std::string(text.substr(0, colon + 1)) + "****" + std::string(text.substr(at));
    if (leaked(password, shown, masked)) std::abort();
  }
  // Every password parameter's value.
  for (std::size_t key = text.find('?', start); key != std::string_view::npos;
       key = text.find('&', key + 1)) {
    if (text.substr(key + 1, 9) != "password=") continue;
    const std::size_t value = key + 10;
    const std::size_t value_end = std::min(text.find('&', value), text.size());
    const std::string masked =
        std::string(text.substr(0, value)) + "****" + std::string(text.substr(value_end));
    if (leaked(text.substr(value, value_end - value), shown, masked)) std::abort();
  }
  return 0;
}
