#include "net/cookie_line.h"

#include <charconv>

namespace quillrank {
namespace {

constexpr std::string_view kHttpOnlyMark = "#HttpOnly_";

bool has_control(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::optional<bool> flag(std::string_view field) {
  if (field == "TRUE") return true;
  if (field == "FALSE") return false;
  return std::nullopt;
}

}  // namespace

std::optional<CookieLine> parse_cookie_line(std::string_view line) {
  CookieLine cookie;
  if (line.starts_with(kHttpOnlyMark)) {
    cookie.http_only = true;
    line.remove_prefix(kHttpOnlyMark.size());
  } else if (line.starts_with('#')) {
    return std::nullopt;
  }
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos || fields.size() > 7) break;
    start = tab + 1;
  }
  if (fields.size() != 7) return std::nullopt;
  for (const std::string_view field : fields) {
    if (has_control(field)) return std::nullopt;
  }
  std::string_view domain = fields[0];
  if (domain.starts_with('.')) domain.remove_prefix(1);
  const auto subdomains = flag(fields[1]);
  const auto secure = flag(fields[3]);
  const std::string_view expires = fields[4];
  auto [end, error] =
      std::from_chars(expires.data(), expires.data() + expires.size(), cookie.expires);
  // What is left must read back as a domain: not a comment's '#' nor another dot.
  if (domain.empty() || domain.starts_with('#') || domain.starts_with('.') || fields[5].empty() ||
      !subdomains || !secure || !fields[2].starts_with('/') || error != std::errc() ||
      end != expires.data() + expires.size() || cookie.expires < 0) {
    return std::nullopt;
  }
  cookie.domain = domain;
  cookie.include_subdomains = *subdomains;
  cookie.path = fields[2];
  cookie.secure = *secure;
  cookie.name = fields[5];
  cookie.value = fields[6];
  return cookie;
}

std::string cookie_line_text(const CookieLine& cookie) {
  std::string line = cookie.http_only ? std::string(kHttpOnlyMark) : std::string();
  if (cookie.include_subdomains) line += '.';
  line += cookie.domain;
  for (const std::string& field : {std::string(cookie.include_subdomains ? "TRUE" : "FALSE"),
                                   cookie.path, std::string(cookie.secure ? "TRUE" : "FALSE"),
                                   std::to_string(cookie.expires), cookie.name, cookie.value}) {
    line += '\t';
    line += field;
  }
  return line;
}

std::vector<std::string> merge_cookie(std::vector<std::string> lines, const CookieLine& cookie,
                                      bool remove) {
  for (auto line = lines.begin(); line != lines.end(); ++line) {
    const auto parsed = parse_cookie_line(*line);
    if (!parsed || parsed->domain != cookie.domain || parsed->path != cookie.path ||
        parsed->name != cookie.name) {
      continue;
    }
    if (remove) {
      lines.erase(line);
    } else {
      *line = cookie_line_text(cookie);
    }
    return lines;
  }
  if (!remove) lines.push_back(cookie_line_text(cookie));
  return lines;
}

}  // namespace quillrank
