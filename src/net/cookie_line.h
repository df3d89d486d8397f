// One line of an engine's cookie file (the Netscape format the transfer library writes), read
// into its fields and written back, so the browser's cookie store and the HTTP client's share
// the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillrank {

struct CookieLine {
  std::string domain;  // without the "#HttpOnly_" mark and without a leading dot
  bool include_subdomains = false;
  std::string path = "/";
  bool secure = false;
  std::int64_t expires = 0;  // seconds since 1970; 0: for the session only
  std::string name;
  std::string value;
  bool http_only = false;

  bool operator==(const CookieLine&) const = default;
};

// The seven tab-separated fields, the domain maybe marked "#HttpOnly_"; nullopt for a line that
// is not one (a comment, too few or too many fields, an empty domain or name, a domain that
// starts with '#' or two dots, a control character, an expiry that is no number).
std::optional<CookieLine> parse_cookie_line(std::string_view line);

// The line the transfer library reads back as the same cookie.
std::string cookie_line_text(const CookieLine& cookie);

// `lines` with `cookie` put in: a line for the same domain, path and name is replaced (or
// removed when `remove`), else the cookie is added at the end. Lines that do not parse stay.
std::vector<std::string> merge_cookie(std::vector<std::string> lines, const CookieLine& cookie,
                                      bool remove = false);

}  // namespace quillrank
