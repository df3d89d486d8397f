#include "settings/profile_fields.h"

#include <algorithm>
#include <sstream>
#include <utility>

namespace quillrank {
namespace {

using Problem = std::optional<std::string>;

constexpr std::size_t kMaxTextBytes = 2048;
constexpr std::size_t kMaxListItems = 64;

// What a text value may hold, by the field it goes to.
enum class TextRule {
  marker,     // anything; matched against pages byte for byte
  line,       // no control characters (a name, a User-Agent: one header line)
  url_part,   // no control characters, no blanks
  host_name,  // letters, digits, ".", "-", "_", ":", "[", "]"
};

bool is_control(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

Problem check_text(std::string_view key, std::string_view text, TextRule rule) {
  if (text.size() > kMaxTextBytes) return std::string(key) + " must be at most 2048 bytes";
  switch (rule) {
    case TextRule::marker:
      break;
    case TextRule::line:
      if (std::ranges::any_of(text, is_control)) {
        return std::string(key) + " must not hold control characters";
      }
      break;
    case TextRule::url_part:
      if (std::ranges::any_of(text, [](char c) { return is_control(c) || c == ' '; })) {
        return std::string(key) + " must not hold blanks or control characters";
      }
      break;
    case TextRule::host_name:
      if (text.empty() || !std::ranges::all_of(text, [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   std::string_view(".-_:[]").find(c) != std::string_view::npos;
          })) {
        return std::string(key) +
               " must be a host name (letters, digits, '.', '-', '_', ':', '[', ']')";
      }
      break;
  }
  return std::nullopt;
}

std::string toml_list(const std::vector<std::string>& items) {
  toml::array array;
  for (const std::string& item : items) array.push_back(item);
  std::ostringstream out;
  out << array;
  return out.str();
}

ProfileField text_field(std::string_view key, std::string_view help,
                        std::string EngineProfile::*member, TextRule rule, bool may_be_empty) {
  return {key, help,
          [=](const toml::node& value, EngineProfile& profile) -> Problem {
            const auto text = value.value_exact<std::string>();
            if (!text) return std::string(key) + " must be a text";
            if (!may_be_empty && text->empty()) return std::string(key) + " must not be empty";
            if (auto problem = check_text(key, *text, rule)) return problem;
            profile.*member = *text;
            return std::nullopt;
          },
          [=](const EngineProfile& profile) { return toml_text(profile.*member); }};
}

ProfileField number_field(std::string_view key, std::string_view help, int EngineProfile::*member,
                          int low, int high) {
  return {key, help,
          [=](const toml::node& value, EngineProfile& profile) -> Problem {
            const auto number = value.value_exact<std::int64_t>();
            if (!number) return std::string(key) + " must be a whole number";
            if (*number < low || *number > high) {
              return std::string(key) + " must be " + std::to_string(low) + " to " +
                     std::to_string(high);
            }
            profile.*member = static_cast<int>(*number);
            return std::nullopt;
          },
          [=](const EngineProfile& profile) { return std::to_string(profile.*member); }};
}

ProfileField flag_field(std::string_view key, std::string_view help, bool EngineProfile::*member) {
  return {key, help,
          [=](const toml::node& value, EngineProfile& profile) -> Problem {
            const auto flag = value.value_exact<bool>();
            if (!flag) return std::string(key) + " must be true or false";
            profile.*member = *flag;
            return std::nullopt;
          },
          [=](const EngineProfile& profile) {
            return std::string(profile.*member ? "true" : "false");
          }};
}

template <class Value>
ProfileField choice_field(std::string_view key, std::string_view help, Value EngineProfile::*member,
                          std::vector<std::pair<std::string_view, Value>> names) {
  return {key, help,
          [=](const toml::node& value, EngineProfile& profile) -> Problem {
            const auto text = value.value_exact<std::string>();
            for (const auto& [name, choice] : names) {
              if (text && *text == name) {
                profile.*member = choice;
                return std::nullopt;
              }
            }
            std::string known;
            for (const auto& [name, choice] : names) {
              known += (known.empty() ? "" : ", ") + std::string(name);
            }
            return std::string(key) + " must be one of " + known;
          },
          [=](const EngineProfile& profile) {
            for (const auto& [name, choice] : names) {
              if (profile.*member == choice) return toml_text(name);
            }
            return std::string();
          }};
}

// A list of texts; `extend` adds to the profile's list instead of replacing it. An empty list is
// refused when it would make the profile blind (no link could ever count as the site's).
using ListOf = std::vector<std::string>& (*)(EngineProfile&);
enum class ListUse { replace, replace_never_empty, extend };

ProfileField list_field(std::string_view key, std::string_view help, ListOf list, TextRule rule,
                        ListUse use) {
  const bool extend = use == ListUse::extend;
  ProfileField field{key,
                     help,
                     [=](const toml::node& value, EngineProfile& profile) -> Problem {
                       const toml::array* array = value.as_array();
                       if (!array) return std::string(key) + " must be a list of texts";
                       std::vector<std::string> items =
                           extend ? list(profile) : std::vector<std::string>();
                       for (const toml::node& item : *array) {
                         const auto text = item.value_exact<std::string>();
                         if (!text || text->empty()) {
                           return std::string(key) + " must be a list of texts, none empty";
                         }
                         if (auto problem = check_text(key, *text, rule)) return problem;
                         items.push_back(*text);
                       }
                       if (items.empty() && use == ListUse::replace_never_empty) {
                         return std::string(key) + " must hold at least one text";
                       }
                       if (items.size() > kMaxListItems) {
                         return std::string(key) + " must hold at most 64 texts";
                       }
                       list(profile) = std::move(items);
                       return std::nullopt;
                     },
                     {}};
  if (!extend) {
    field.write = [=](const EngineProfile& profile) {
      return toml_list(list(const_cast<EngineProfile&>(profile)));
    };
  }
  return field;
}

// Headers the program sets itself, or that would break how a page is read.
bool reserved_header(std::string_view name) {
  std::string lower(name);
  std::ranges::transform(lower, lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  for (std::string_view reserved : {"host", "connection", "proxy-connection", "content-length",
                                    "transfer-encoding", "accept-encoding", "user-agent", "te"}) {
    if (lower == reserved) return true;
  }
  return false;
}

bool is_token(std::string_view name) {
  return !name.empty() && std::ranges::all_of(name, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

ProfileField headers_field() {
  return {"headers",
          "extra request headers, e.g. { \"Accept-Language\" = \"zh-CN\", Cookie = \"...\" }",
          [](const toml::node& value, EngineProfile& profile) -> Problem {
            const toml::table* table = value.as_table();
            if (!table) return "headers must be a table of header names and texts";
            if (table->size() > kMaxListItems) return "headers must hold at most 64 headers";
            std::vector<std::string> headers;
            for (const auto& [name, text] : *table) {
              const auto line = text.value_exact<std::string>();
              if (!is_token(name.str()) || !line) {
                return "headers must map header names to texts";
              }
              if (reserved_header(name.str())) {
                return "headers: '" + std::string(name.str()) +
                       "' is set by the program (for the User-Agent use user_agent)";
              }
              if (auto problem =
                      check_text("header " + std::string(name.str()), *line, TextRule::line)) {
                return problem;
              }
              headers.push_back(std::string(name.str()) + ": " + *line);
            }
            profile.headers = std::move(headers);
            return std::nullopt;
          },
          [](const EngineProfile& profile) {
            toml::table table;
            for (const std::string& header : profile.headers) {
              const std::size_t colon = header.find(": ");
              table.insert(header.substr(0, colon), header.substr(colon + 2));
            }
            table.is_inline(true);
            std::ostringstream out;
            out << table;
            return out.str();
          }};
}

std::vector<ProfileField> make_fields() {
  using P = EngineProfile;
  std::vector<ProfileField> fields{
      text_field("name", "column header and check box caption (\"<name>查询\")", &P::name,
                 TextRule::line, false),
      choice_field<std::string>("scheme", "of the query URL: \"http\" or \"https\"", &P::scheme,
                                {{"http", "http"}, {"https", "https"}}),
      text_field("host", "the engine's host name", &P::host, TextRule::host_name, false),
      text_field("query_path", "between the host and the keyword; starts with \"/\"",
                 &P::query_path, TextRule::url_part, false),
      text_field("page_key", "after the keyword, before the page value", &P::page_key,
                 TextRule::url_part, true),
      choice_field<PageValue>(
          "page_value", "\"offset\": (page - 1) * page_size; \"number\": the page number itself",
          &P::page_value,
          {{"offset", PageValue::offset},
           {"number", PageValue::number},
           {"counted", PageValue::counted}}),
      number_field("page_size", "results per page, as the rank arithmetic counts them",
                   &P::page_size, 1, 1000),
      text_field("query_tail", "after the page value, to the end of the query URL", &P::query_tail,
                 TextRule::url_part, true),
      number_field("page_count", "result pages fetched at most per row", &P::page_count, 1, 100),
      choice_field<KeywordEncoding>(
          "keyword_encoding", "bytes of the keyword in the URL: \"gbk\" or \"utf-8\"",
          &P::keyword_encoding, {{"gbk", KeywordEncoding::gbk}, {"utf-8", KeywordEncoding::utf8}}),
      text_field("link_prefix", "stands right before the double quote that opens a result link",
                 &P::link_prefix, TextRule::marker, false),
      text_field("results_from",
                 "where the page's ranked results begin (\"\": at the page's start); links "
                 "before it do not count",
                 &P::results_from, TextRule::marker, true),
      text_field("results_to",
                 "where the ranked results end, after results_from (\"\": at the page's end)",
                 &P::results_to, TextRule::marker, true),
      list_field(
          "link_schemes", "how a result link to the site may start (tried in turn; first wins)",
          [](P& p) -> std::vector<std::string>& { return p.link_schemes; }, TextRule::url_part,
          ListUse::replace_never_empty),
      text_field("segment_end", "ends the stretch after the link where the rank is sought",
                 &P::segment_end, TextRule::marker, true),
      text_field("rank_left", "stands before the rank field", &P::rank_left, TextRule::marker,
                 true),
      text_field("rank_right", "stands after the rank field", &P::rank_right, TextRule::marker,
                 true),
      choice_field<RankRule>(
          "rank_rule",
          "next_id_minus_one, verbatim, page_offset_plus_index, link_ordinal (the link's place "
          "among the page's result links), result_count (its place among the result links of "
          "every page read for the row) or card_number (the number between rank_left and "
          "rank_right in the HTML tag that holds the link)",
          &P::rank_rule,
          {{"next_id_minus_one", RankRule::next_id_minus_one},
           {"verbatim", RankRule::verbatim},
           {"page_offset_plus_index", RankRule::page_offset_plus_index},
           {"link_ordinal", RankRule::link_ordinal},
           {"result_count", RankRule::result_count},
           {"card_number", RankRule::card_number}}),
      headers_field(),
      text_field("user_agent", "the User-Agent header; \"\": the program's own", &P::user_agent,
                 TextRule::line, true),
      choice_field<HttpVersion>(
          "http_version",
          "\"1.0\", \"1.1\", or \"2\" (HTTP/2 where the server offers it over TLS, else 1.1)",
          &P::http_version,
          {{"1.0", HttpVersion::http1_0},
           {"1.1", HttpVersion::http1_1},
           {"2", HttpVersion::http2}}),
      text_field("accept_encoding",
                 "compressed bodies asked for and decoded, e.g. \"gzip, deflate, br, zstd\" "
                 "(those this build cannot decode are left out); \"\": none",
                 &P::accept_encoding, TextRule::line, true),
      flag_field("session",
                 "one client for the engine's run: connections reused, cookies kept, each page "
                 "sent with the previous page (page 1: home_page) as its Referer; false: a new "
                 "client and connection for every page",
                 &P::session),
      flag_field("cookies",
                 "with session: keep the engine's cookies between runs, in a file of the user's "
                 "data folder (may also stand at the top level, for every engine)",
                 &P::cookies),
      text_field("home_page", "the engine's home page: page 1's Referer and the warm-up visit",
                 &P::home_page, TextRule::url_part, true),
      flag_field("warm_up",
                 "with session: a run that starts with no cookies of the engine first visits "
                 "home_page to receive them",
                 &P::warm_up),
      choice_field<FetchKind>("fetch",
                              "\"http\": pages fetched by the HTTP client; \"browser\": rendered "
                              "by the program's browser (for pages its scripts write)",
                              &P::fetch,
                              {{"http", FetchKind::http}, {"browser", FetchKind::browser}}),
      text_field("ready_selector",
                 "browser: a CSS selector; the page is read once an element matches it (\"\": "
                 "once it has loaded)",
                 &P::ready_selector, TextRule::line, true),
      text_field("remove_selector",
                 "browser: elements matching this CSS selector are taken out of the page before "
                 "it is read (\"\": none)",
                 &P::remove_selector, TextRule::line, true),
      number_field("render_seconds", "browser: a page not read within this many seconds fails",
                   &P::render_seconds, 1, 300),
  };
  const std::pair<std::string_view, ListOf> signatures[] = {
      {"block_addresses",
       [](P& p) -> std::vector<std::string>& { return p.signatures.block_addresses; }},
      {"block_signatures",
       [](P& p) -> std::vector<std::string>& { return p.signatures.block_texts; }},
      {"no_results_signatures",
       [](P& p) -> std::vector<std::string>& { return p.signatures.no_results_texts; }},
  };
  const std::string_view helps[] = {
      "an address a redirect leads to when the engine refuses the client",
      "a text on a page without result links when the engine refuses the client",
      "a text on the engine's own \"nothing found\" page",
  };
  for (std::size_t i = 0; i < std::size(signatures); ++i) {
    fields.push_back(list_field(signatures[i].first, helps[i], signatures[i].second,
                                TextRule::marker, ListUse::replace));
  }
  // extend_<list>: added to the list above instead of replacing it (not written back: the
  // written list holds them).
  static const std::vector<std::string> extend_keys = [&] {
    std::vector<std::string> keys;
    for (const auto& [key, list] : signatures) keys.push_back("extend_" + std::string(key));
    return keys;
  }();
  for (std::size_t i = 0; i < std::size(signatures); ++i) {
    fields.push_back(list_field(extend_keys[i], helps[i], signatures[i].second, TextRule::marker,
                                ListUse::extend));
  }
  return fields;
}

}  // namespace

std::string toml_text(std::string_view text) {
  std::ostringstream out;
  out << toml::value<std::string>(std::string(text));
  return out.str();
}

const std::vector<ProfileField>& profile_fields() {
  static const std::vector<ProfileField> fields = make_fields();
  return fields;
}

}  // namespace quillrank
