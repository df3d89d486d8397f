#include "net/url_parts.h"

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

}  // namespace quillrank
