#include "net/url_parts.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdint>

#include "text/percent_escape.h"

namespace quillrank {

std::optional<UrlParts> split_url(std::string_view url) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos || scheme_end == 0) return std::nullopt;
  UrlParts parts;
  parts.scheme = url.substr(0, scheme_end);
  for (const char c : parts.scheme) {
    const bool scheme_char = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!scheme_char) return std::nullopt;
  }
  std::string_view rest = url.substr(scheme_end + 3);
  rest = rest.substr(0, rest.find('#'));
  const std::size_t authority_end = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authority_end);
  parts.path_and_query =
      authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view credentials = authority.substr(0, at);
    const std::size_t colon = credentials.find(':');
    parts.user = credentials.substr(0, colon);
    if (colon != std::string_view::npos) parts.password = credentials.substr(colon + 1);
    authority.remove_prefix(at + 1);
  }
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    parts.port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
  }
  parts.host = authority;
  if (parts.host.empty()) return std::nullopt;
  return parts;
}

bool within_request_limits(const UrlParts& parts) {
  return parts.host.size() <= kMaxHostBytes && parts.path_and_query.size() <= kMaxPathBytes &&
         parts.user.size() <= kMaxCredentialBytes && parts.password.size() <= kMaxCredentialBytes;
}

std::string escape_request_bytes(std::string_view url) {
  return percent_escape(url, [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

namespace {

bool is_private_ipv4(std::uint32_t a) {  // host byte order
  auto in = [a](std::uint32_t net, int bits) { return (a >> (32 - bits)) == (net >> (32 - bits)); };
  return in(0x7F000000, 8) || in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) ||
         in(0xA9FE0000, 16) || in(0x64400000, 10) || in(0x00000000, 8);
}

}  // namespace

bool is_private_address(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string text(host);
  in_addr v4{};
  if (inet_aton(text.c_str(), &v4) != 0) return is_private_ipv4(ntohl(v4.s_addr));
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  const std::uint8_t* b = v6.s6_addr;
  static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::equal(b, b + 12, kMapped)) {
    return is_private_ipv4(std::uint32_t{b[12]} << 24 | std::uint32_t{b[13]} << 16 |
                           std::uint32_t{b[14]} << 8 | b[15]);
  }
  const bool zero_prefix = std::all_of(b, b + 15, [](std::uint8_t x) { return x == 0; });
  return (zero_prefix && b[15] <= 1) || (b[0] & 0xFE) == 0xFC ||
         (b[0] == 0xFE && (b[1] & 0xC0) == 0x80);
}

}  // namespace quillrank
