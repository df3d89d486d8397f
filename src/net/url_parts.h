// Splitting an absolute URL into the parts the page fetcher checks against its limits, and the
// escaping of the bytes that cannot stand in a request line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillrank {

struct UrlParts {
  std::string_view scheme;
  std::string_view user;
  std::string_view password;
  std::string_view host;
  std::string_view port;
  std::string_view path_and_query;  // from the first "/" or "?" after the host, up to any "#"
};

inline constexpr std::size_t kMaxHostBytes = 256;
inline constexpr std::size_t kMaxPathBytes = 2048;
inline constexpr std::size_t kMaxCredentialBytes = 128;

// nullopt unless the URL reads scheme "://" authority with a non-empty host.
std::optional<UrlParts> split_url(std::string_view url);

// False when a part is longer than its limit: such a URL is never sent.
bool within_request_limits(const UrlParts& parts);

// True when `host` is an IP literal (IPv4 in any form the resolver reads, or IPv6 with or
// without brackets) of this machine, a private network or a link: loopback, 10/8, 172.16/12,
// 192.168/16, 169.254/16, 100.64/10, 0/8, ::1, ::, fc00::/7, fe80::/10, and IPv4 mapped into
// IPv6. Host names are not looked up: false.
bool is_private_address(std::string_view host);

// Blanks, control bytes, DEL and bytes of 0x80 and above as %XX; every other byte as written.
std::string escape_request_bytes(std::string_view url);

}  // namespace quillrank
