// EngineProfile: everything in which the four search engines differ (result column, query URL
// and paging, the markers around a result link and its rank, the rank rule). Four constants.
#pragma once

#include <string_view>

#include "text/gbk_text.h"

namespace quillrank {

enum class PageValue { offset, number };  // (p - 1) * page_size, or p itself
enum class RankRule { next_id_minus_one, verbatim, page_offset_plus_index };

struct EngineProfile {
  std::string_view name;  // column header and check box caption
  int column;             // the engine's column in the ResultTable
  std::string_view host;
  std::string_view query_path;  // between the host and the keyword; starts with "/"
  std::string_view page_key;    // after the keyword, before the page value
  PageValue page_value;
  int page_size;  // results per page, as the rank arithmetic counts them
  std::string_view query_tail;
  int page_count;                // result pages fetched at most per row
  std::string_view link_prefix;  // stands right before the quote that opens a result address
  std::string_view segment_end;  // ends the stretch after the link where the rank is sought
  std::string_view rank_left;
  std::string_view rank_right;
  RankRule rank_rule;
};

inline constexpr EngineProfile kBaidu{
    .name = "Baidu",
    .column = 2,
    .host = "www.baidu.com",
    .query_path = "/s?wd=",
    .page_key = "&pn=",
    .page_value = PageValue::offset,
    .page_size = 100,
    .query_tail = "&rn=100",
    .page_count = 3,
    .link_prefix = "})\" href=",
    .segment_end = "><tr><td class=",
    .rank_left = "id=\"",
    .rank_right = "\"",
    .rank_rule = RankRule::next_id_minus_one,
};
inline constexpr EngineProfile kGoogle{
    .name = "Google",
    .column = 3,
    .host = "www.google.com.hk",
    .query_path = "/search?num=100&hl=zh-CN&safe=strict&as_qdr=all&q=",
    .page_key = "&start=",
    .page_value = PageValue::offset,
    .page_size = 100,
    .query_tail = "&sa=N",
    .page_count = 3,
    .link_prefix = "<h3 class=r><a href=",
    .segment_end = "')",
    .rank_left = "(0,'','','','",
    .rank_right = "',",
    .rank_rule = RankRule::verbatim,
};
inline constexpr EngineProfile kSogou{
    .name = "Sogou",
    .column = 4,
    .host = "www.sogou.com",
    .query_path = "/web?query=",
    .page_key = "&page=",
    .page_value = PageValue::number,
    .page_size = 100,
    .query_tail = "&num=100",
    .page_count = 3,
    .link_prefix = "target=\"_blank\" href=",
    .segment_end = "');",
    .rank_left = "id=\"sogou_preview_",
    .rank_right = "\"",
    .rank_rule = RankRule::page_offset_plus_index,
};
inline constexpr EngineProfile kSoso{
    .name = "Soso",
    .column = 5,
    .host = "www.soso.com",
    .query_path = "/q?sc=web&w=",
    .page_key = "&pg=",
    .page_value = PageValue::number,
    .page_size = 10,
    .query_tail = "",
    .page_count = 30,
    .link_prefix = "<h3><a href=",
    .segment_end = ">",
    .rank_left = "id=\"res",
    .rank_right = "\"",
    .rank_rule = RankRule::page_offset_plus_index,
};

// Every byte other than A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex), so a blank, "&" or "#" in a
// keyword, and its GBK bytes, reach the engine as the keyword.
GbkText percent_encode(std::string_view bytes);

// "http://" + host + query_path + encoded keyword + page_key + page value + query_tail, for the
// 1-based page number `page`.
GbkText query_url(const EngineProfile& profile, std::string_view keyword, int page);

}  // namespace quillrank
