// The proxy file reader on arbitrary text: a list or an error with its line, never a crash;
// every accepted entry names itself without its credentials and reads back as itself, and an
// error never carries the password of the line it names.
#include <cstdlib>
#include <string_view>

#include "net/proxy_address.h"

using namespace quillrank;

namespace {

void check(const ProxyAddress& proxy) {
  const std::string shown = proxy.shown();
  if (shown.find('@') != std::string::npos || !shown.starts_with(proxy_scheme_name(proxy.scheme)))
    std::abort();
  const auto again = parse_proxy_address(proxy.url());
  if (!std::holds_alternative<ProxyAddress>(again) || std::get<ProxyAddress>(again) != proxy) {
    std::abort();
  }
  const auto bare = parse_proxy_address(shown);
  if (!std::holds_alternative<ProxyAddress>(bare)) std::abort();
  const ProxyAddress& named = std::get<ProxyAddress>(bare);
  if (named.host != proxy.host || named.port != proxy.port || !named.user.empty()) std::abort();
  // The mask --print-config writes is refused as a password.
  const auto masked = parse_proxy_address(proxy.url_password_hidden());
  if (std::holds_alternative<ProxyAddress>(masked) != proxy.password.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = parse_proxy_file(text);
  if (const auto* proxies = std::get_if<std::vector<ProxyAddress>>(&parsed)) {
    for (const ProxyAddress& proxy : *proxies) check(proxy);
  }
  // The input as one entry: an error masks whatever stands between the user's ':' and the
  // last '@'.
  const auto one = parse_proxy_address(text);
  if (const auto* proxy = std::get_if<ProxyAddress>(&one)) {
    check(*proxy);
  } else {
    // The error names the entry as proxy_text_for_errors shows it.
    const std::string shown = proxy_text_for_errors(text);
    if (!std::get<std::string>(one).starts_with("'" + shown + "': ")) std::abort();
    const std::size_t start = text.find("://") == std::string_view::npos ? 0 : text.find("://") + 3;
    const std::size_t at = text.rfind('@');
    const std::size_t colon = text.find(':', start);
    if (at != std::string_view::npos && at >= start && colon < at) {
      const std::string_view password = text.substr(colon + 1, at - colon - 1);
      // The masked text cannot hold the password by chance (through the user, the host or
      // the marks the mask, the control bytes and a cut become), yet the name does: it leaked.
      const std::string masked =
          std::string(text.substr(0, colon + 1)) + "****" + std::string(text.substr(at));
      if (!password.empty() && password.find_first_of("*?.") == std::string_view::npos &&
          masked.find(password) == std::string::npos && shown.find(password) != std::string::npos) {
        std::abort();
      }
    }
  }
  return 0;
}
