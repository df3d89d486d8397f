// EngineProfile: everything in which the search engines differ (the query URL and its paging,
// the markers around a result link and its rank, the rank rule, what a request carries, how a
// refusal or an empty answer looks). Four built-in profiles; the settings file may change any
// field of any of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "net/fetched_page.h"
#include "text/gbk_text.h"

namespace quillrank {

// (p - 1) * page_size; p itself; or the results the row's earlier pages really held, so a page
// that holds fewer than asked skips none.
enum class PageValue { offset, number, counted };
enum class KeywordEncoding { gbk, utf8 };
// How a result page is fetched: by the HTTP client, or rendered by the program's browser (for
// engines whose pages are written by their scripts).
enum class FetchKind { http, browser };  // the bytes of the keyword that are percent-encoded
enum class RankRule {
  next_id_minus_one,       // the number after the link, less one (0: the page's last place)
  verbatim,                // the text after the link, as it stands
  page_offset_plus_index,  // (p - 1) * page_size + the 0-based index after the link + 1
  link_ordinal,            // (p - 1) * page_size + the link's place among the page's result links
  result_count,            // the link's place among the result links of every page read for the row
  card_number,             // the number the page gives the card (the HTML tag) that holds the link
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
  // The part of the page that holds the ranked results: from the first results_from (empty: the
  // page's start) to the next results_to (empty: the page's end). Links outside do not count.
  std::string results_from{};
  std::string results_to{};
  // A result link is the site's when its address starts with one of these and the site.
  std::vector<std::string> link_schemes{"http://"};
  std::string segment_end{};  // ends the stretch after the link where the rank is sought
  std::string rank_left{};
  std::string rank_right{};
  RankRule rank_rule = RankRule::verbatim;
  std::vector<std::string> headers{};  // extra request headers, "Name: value"
  std::string user_agent{};            // empty: the program's own
  HttpVersion http_version = HttpVersion::http1_0;
  // The encodings asked for in Accept-Encoding and decoded ("gzip, deflate, br, zstd"; those the
  // transfer library lacks are left out); empty: none asked, the body as it comes.
  std::string accept_encoding{};
  // One client for the engine's whole run: connections and TLS sessions reused, cookies kept,
  // each page sent with the previous one (page 1: home_page) as its Referer. Off: every page is
  // asked by a client of its own that closes its connection, as the old client did.
  bool session = false;
  bool cookies = false;     // with session: the engine's cookies kept between runs, in a file
  std::string home_page{};  // the engine's home page: page 1's Referer, the warm-up visit
  bool warm_up = false;     // with session: a run whose cookie store is empty visits home_page
  FetchKind fetch = FetchKind::http;
  // Browser fetch: the page is read once an element matches this CSS selector (its results are
  // there), or a few seconds after it loaded when none does (a refusal, an empty answer).
  std::string ready_selector{};
  // Browser fetch: elements matching this CSS selector are taken out of the rendered page before
  // it is read (boxes that quote other sites' links among the results); empty: none.
  std::string remove_selector{};
  int render_seconds = 30;  // browser fetch: a page not read within this many seconds fails
  PageSignatures signatures{};

  bool operator==(const EngineProfile&) const = default;
};

// Every byte other than A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex), so a blank, "&" or "#" in a
// keyword, and its bytes, reach the engine as the keyword.
GbkText percent_encode(std::string_view bytes);

// scheme + "://" + host + query_path + encoded keyword + page_key + page value + query_tail, for
// the 1-based page number `page`; the keyword (GBK) is encoded as the profile says.
// `results_read` is what the row's earlier pages held (the page value of PageValue::counted).
GbkText query_url(const EngineProfile& profile, std::string_view keyword, int page,
                  int results_read = 0);

}  // namespace quillrank
