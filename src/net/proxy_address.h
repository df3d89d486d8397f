// ProxyAddress: one proxy of an engine's pool, read from a URL such as
// "socks5h://user:secret@[2001:db8::1]:1080", and the proxy file that lists them. Proxy texts
// come from settings files and proxy files, so both readers treat them as hostile input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quillrank {

// socks5 resolves the page's host name here, socks5h at the proxy.
enum class ProxyScheme { http, https, socks5, socks5h };

inline constexpr std::size_t kMaxProxyTextBytes = 2048;      // one URL
inline constexpr std::size_t kMaxProxyFileBytes = 1u << 20;  // a whole proxy file
inline constexpr std::size_t kMaxProxyEntries = 10000;       // URLs in one file or list
// What --print-config writes for a password; read back as a password, it is refused.
inline constexpr std::string_view kHiddenPassword = "****";

struct ProxyAddress {
  ProxyScheme scheme = ProxyScheme::http;
  std::string user;      // decoded; empty: no credentials
  std::string password;  // decoded; may be empty with a user
  std::string host;      // lower case; an IPv6 address without its brackets
  std::uint16_t port = 0;

  // "scheme://host:port": the member's name wherever it is shown or logged; never the
  // credentials. Also what the transfer library is given as the proxy (the credentials go
  // apart, so they are in no URL it could log).
  std::string shown() const;
  // The whole URL, credentials percent-encoded where needed: reads back as this address.
  std::string url() const;
  // As url(), with the password written as kHiddenPassword.
  std::string url_password_hidden() const;

  bool operator==(const ProxyAddress&) const = default;
};

std::string_view proxy_scheme_name(ProxyScheme scheme);

// One proxy URL: scheme http, https, socks5 or socks5h; "[user[:password]@]host[:port]", the
// user and password percent-encoded where they hold '@', ':' or '%' (the last '@' ends them);
// the host a name (letters, digits, '-', '_', '.'), an IPv4 address or an IPv6 address in
// brackets; the port 1 to 65535, by default 80 for http, 443 for https and 1080 for socks5 and
// socks5h; nothing after it but an optional "/". A password that is literally kHiddenPassword
// is refused: it is --print-config's mask, not a password. The error is a short text that names
// the entry with its password masked.
std::variant<ProxyAddress, std::string> parse_proxy_address(std::string_view text);

// The entry as an error may name it: its password (after the user's ':') masked, control bytes
// as '?', at most 100 bytes.
std::string proxy_text_for_errors(std::string_view text);

struct ProxyFileError {
  std::size_t line = 0;  // 1-based; 0: the file as a whole
  std::string what;
};

// A proxy file: one URL a line; blank lines and lines whose first non-blank is '#' skipped;
// LF or CR LF line ends. At most kMaxProxyFileBytes and kMaxProxyEntries URLs.
std::variant<std::vector<ProxyAddress>, ProxyFileError> parse_proxy_file(std::string_view text);

}  // namespace quillrank
