// EngineProfile: everything in which the search engines differ (the query URL and its paging,
// the markers around a result link and its rank, the rank rule, what a request carries, how a
// refusal or an empty answer looks). Four built-in profiles; the settings file may change any
// field of any of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

enum class PageValue { offset, number };   // (p - 1) * page_size, or p itself
enum class KeywordEncoding { gbk, utf8 };  // the bytes of the keyword that are percent-encoded
enum class RankRule {
  next_id_minus_one,       // the number after the link, less one (0: the page's last place)
  verbatim,                // the text after the link, as it stands
  page_offset_plus_index,  // (p - 1) * page_size + the 0-based index after the link + 1
  link_ordinal,            // (p - 1) * page_size + the link's place among the page's result links
};

// What an engine shows when it refuses a client or finds nothing. Written in UTF-8; pages are
// searched for each in its UTF-8 and its GBK form, ASCII letter case ignored.
struct PageSignatures {
  std::vector<std::string> block_addresses;  // in an address a redirect led to
  std::vector<std::string> block_texts;      // on a page without result links
  std::vector<std::string> no_results_texts;

  bool operator==(const PageSignatures&) const = default;
};

struct EngineProfile {
  std::string name{};  // UTF-8: column header and check box caption ("<name>查询")
  int column = 0;      // the engine's column in the ResultTable (its slot's; not a setting)
  std::string scheme = "http";
  std::string host{};
  std::string query_path{};  // between the host and the keyword; starts with "/"
  std::string page_key{};    // after the keyword, before the page value
  PageValue page_value = PageValue::offset;
  int page_size = 10;  // results per page, as the rank arithmetic counts them
  std::string query_tail{};
  int page_count = 1;  // result pages fetched at most per row
  KeywordEncoding keyword_encoding = KeywordEncoding::gbk;
  // Markers are matched byte for byte with the page as it arrives (ASCII letter case ignored).
  std::string link_prefix{};  // stands right before the quote that opens a result address
  // A result link is the site's when its address starts with one of these and the site.
  std::vector<std::string> link_schemes{"http://"};
  std::string segment_end{};  // ends the stretch after the link where the rank is sought
  std::string rank_left{};
  std::string rank_right{};
  RankRule rank_rule = RankRule::verbatim;
  std::vector<std::string> headers{};  // extra request headers, "Name: value"
  std::string user_agent{};            // empty: the program's own
  PageSignatures signatures{};

  bool operator==(const EngineProfile&) const = default;
};

// Every byte other than A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex), so a blank, "&" or "#" in a
// keyword, and its bytes, reach the engine as the keyword.
GbkText percent_encode(std::string_view bytes);

// scheme + "://" + host + query_path + encoded keyword + page_key + page value + query_tail, for
// the 1-based page number `page`; the keyword (GBK) is encoded as the profile says.
GbkText query_url(const EngineProfile& profile, std::string_view keyword, int page);

}  // namespace quillrank
