#include "net/proxy_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <optional>

namespace quillrank {
namespace {

constexpr std::size_t kMaxHostBytes = 253;
constexpr std::size_t kMaxCredentialBytes = 255;  // each of user and password, decoded

struct SchemeEntry {
  std::string_view name;
  ProxyScheme scheme;
  std::uint16_t default_port;
};
constexpr std::array<SchemeEntry, 4> kSchemes{{{"http", ProxyScheme::http, 80},
                                               {"https", ProxyScheme::https, 443},
                                               {"socks5", ProxyScheme::socks5, 1080},
                                               {"socks5h", ProxyScheme::socks5h, 1080}}};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_control_or_blank(unsigned char c) { return c <= 0x20 || c == 0x7f; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// %XX decoded; nullopt for a broken escape or a decoded control byte.
std::optional<std::string> percent_decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hex_value(text[i + 1]);
      const int low = hex_value(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    out += c;
  }
  return out;
}

// Everything but unreserved bytes as %XX: the credential reads back unchanged.
std::string percent_encoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

bool valid_host_name(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostBytes || host.front() == '.' || host.front() == '-' ||
      host.find("..") != std::string_view::npos) {
    return false;
  }
  return std::ranges::all_of(host, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
  });
}

bool valid_ipv6(const std::string& host) {
  in6_addr address{};
  return host.size() <= 45 && inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

std::optional<std::uint16_t> port_number(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string host_port(const ProxyAddress& proxy) {
  const bool ipv6 = proxy.host.find(':') != std::string::npos;
  return (ipv6 ? "[" + proxy.host + "]" : proxy.host) + ":" + std::to_string(proxy.port);
}

std::string with_credentials(const ProxyAddress& proxy, std::string_view password) {
  std::string text = std::string(proxy_scheme_name(proxy.scheme)) + "://";
  if (!proxy.user.empty()) {
    text += percent_encoded(proxy.user);
    if (!password.empty()) text += ":" + std::string(password);
    text += "@";
  }
  return text + host_port(proxy);
}

// The problem with `text` as a proxy URL, or the address.
std::variant<ProxyAddress, std::string> parse(std::string_view text) {
  if (text.empty()) return "empty";
  if (text.size() > kMaxProxyTextBytes) {
    return "longer than " + std::to_string(kMaxProxyTextBytes) + " bytes";
  }
  if (std::ranges::any_of(text, [](char c) { return is_control_or_blank(c); })) {
    return "holds a blank or a control byte";
  }
  const std::size_t colon_slashes = text.find("://");
  if (colon_slashes == std::string_view::npos) {
    return "needs a scheme: http://, https://, socks5:// or socks5h://";
  }
  std::string scheme_name(text.substr(0, colon_slashes));
  std::ranges::transform(scheme_name, scheme_name.begin(), lower);
  const auto scheme = std::ranges::find(kSchemes, scheme_name, &SchemeEntry::name);
  if (scheme == kSchemes.end()) {
    return "scheme must be http, https, socks5 or socks5h";
  }
  ProxyAddress proxy;
  proxy.scheme = scheme->scheme;
  std::string_view rest = text.substr(colon_slashes + 3);
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view userinfo = rest.substr(0, at);
    rest.remove_prefix(at + 1);
    const std::size_t colon = userinfo.find(':');
    const auto user = percent_decoded(userinfo.substr(0, colon));
    const auto password = colon == std::string_view::npos
                              ? std::optional<std::string>("")
                              : percent_decoded(userinfo.substr(colon + 1));
    if (!user || !password) return "user or password has a broken %-escape or a control byte";
    if (user->empty()) return "has a password but no user";
    if (user->size() > kMaxCredentialBytes || password->size() > kMaxCredentialBytes) {
      return "user or password longer than " + std::to_string(kMaxCredentialBytes) + " bytes";
    }
    if (*password == kHiddenPassword) {
      return "password is ****, the mask --print-config writes: write the real password back";
    }
    proxy.user = *user;
    proxy.password = *password;
  }
  if (rest.ends_with("/")) rest.remove_suffix(1);
  if (rest.find_first_of("/?#") != std::string_view::npos) {
    return "must be scheme://host:port, with no path, query or fragment";
  }
  std::string_view port_text;
  if (rest.starts_with("[")) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return "IPv6 address has no closing ']'";
    proxy.host = std::string(rest.substr(1, close - 1));
    std::ranges::transform(proxy.host, proxy.host.begin(), lower);
    if (!valid_ipv6(proxy.host)) return "host is not an IPv6 address";
    rest.remove_prefix(close + 1);
    if (!rest.empty() && !rest.starts_with(":")) return "port must follow ']' after a ':'";
    if (!rest.empty()) port_text = rest.substr(1);
    if (rest == ":") port_text = ":";  // an empty port is wrong, not the default
  } else {
    const std::size_t colon = rest.find(':');
    proxy.host = std::string(rest.substr(0, colon));
    std::ranges::transform(proxy.host, proxy.host.begin(), lower);
    if (colon != std::string_view::npos) {
      port_text = rest.substr(colon + 1);
      if (port_text.empty()) port_text = ":";
    }
    if (proxy.host.empty()) return "has no host";
    if (!valid_host_name(proxy.host)) {
      return "host must be a name (letters, digits, '-', '_', '.') or an IP address";
    }
  }
  if (port_text.empty()) {
    proxy.port = scheme->default_port;
  } else if (const auto port = port_number(port_text)) {
    proxy.port = *port;
  } else {
    return "port must be 1 to 65535";
  }
  return proxy;
}

}  // namespace

std::string_view proxy_scheme_name(ProxyScheme scheme) {
  return std::ranges::find(kSchemes, scheme, &SchemeEntry::scheme)->name;
}

std::string ProxyAddress::shown() const {
  return std::string(proxy_scheme_name(scheme)) + "://" + host_port(*this);
}

std::string ProxyAddress::url() const { return with_credentials(*this, percent_encoded(password)); }

std::string ProxyAddress::url_password_hidden() const {
  return with_credentials(*this, password.empty() ? "" : kHiddenPassword);
}

std::string proxy_text_for_errors(std::string_view text) {
  std::string shown(text.substr(0, std::min<std::size_t>(text.size(), kMaxProxyTextBytes)));
  const std::size_t start = shown.find("://") == std::string::npos ? 0 : shown.find("://") + 3;
  if (const std::size_t at = shown.rfind('@'); at != std::string::npos && at >= start) {
    if (const std::size_t colon = shown.find(':', start);
        colon != std::string::npos && colon < at) {
      shown.replace(colon + 1, at - colon - 1, kHiddenPassword);
    }
  }
  for (char& c : shown) {
    if (is_control_or_blank(static_cast<unsigned char>(c)) && c != ' ') c = '?';
  }
  if (shown.size() > 100) shown = shown.substr(0, 97) + "...";
  return shown;
}

std::variant<ProxyAddress, std::string> parse_proxy_address(std::string_view text) {
  auto parsed = parse(text);
  if (auto* what = std::get_if<std::string>(&parsed)) {
    *what = "'" + proxy_text_for_errors(text) + "': " + *what;
  }
  return parsed;
}

std::variant<std::vector<ProxyAddress>, ProxyFileError> parse_proxy_file(std::string_view text) {
  if (text.size() > kMaxProxyFileBytes) {
    return ProxyFileError{0, "larger than " + std::to_string(kMaxProxyFileBytes >> 20) +
                                 " MiB; no proxy list is that long"};
  }
  std::vector<ProxyAddress> proxies;
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (proxies.size() == kMaxProxyEntries) {
      return ProxyFileError{line_number,
                            "more than " + std::to_string(kMaxProxyEntries) + " proxies"};
    }
    auto parsed = parse_proxy_address(line);
    if (auto* what = std::get_if<std::string>(&parsed)) {
      return ProxyFileError{line_number, std::move(*what)};
    }
    proxies.push_back(std::move(std::get<ProxyAddress>(parsed)));
  }
  return proxies;
}

}  // namespace quillrank
