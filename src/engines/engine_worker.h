// The engine worker: for one search engine, walks every row of the ResultTable, pages through
// the engine's results for the row's keyword and writes the site's rank into the engine's
// column. Runs on its own thread; stops early only when its stop token is triggered.
#pragma once

#include <functional>
#include <stop_token>
#include <string_view>

#include "engines/engine_profile.h"
#include "text/result_table.h"

namespace quillrank {

// Cell texts (GBK).
inline constexpr std::string_view kNotStartedText = "\xCE\xB4\xC6\xF4\xB6\xAF";        // 未启动
inline constexpr std::string_view kQueryingText = "\xB2\xE9\xD1\xAF\xD6\xD0\xA1\xAD";  // 查询中…
inline constexpr std::string_view kNotFoundText =
    "\xC5\xC5\xD4\xDA"
    "300"
    "\xBA\xF3";  // 排在300后
inline constexpr std::string_view kQueryFailedText =
    "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC";  // 查询失败

struct FetchedPage {
  ByteBuffer body;
  bool ok = false;  // false: the page could not be fetched (transport failure or status >= 400)
};

// Fetches one result page; must return promptly once `stop` is requested.
using PageSource = std::function<FetchedPage(std::string_view url, std::stop_token stop)>;

// "第" + N + "名" for a page that holds the link marker: `page_text` is the page, `found_at`
// the 1-based position where the marker was found (ignoring case), `marker_length` its length,
// `page` the 1-based page number.
GbkText rank_cell_text(const EngineProfile& profile, std::string_view page_text, int found_at,
                       int marker_length, int page);

// Ranks rows 0 .. row_count - 1 (the count read once at the start). Each row's cell ends as a
// rank, kNotFoundText when no page holds the site's link, or kQueryFailedText when no page held
// it and at least one page could not be fetched. Returns early, writing nothing more, once
// `stop` is requested.
void run_engine_worker(const EngineProfile& profile, ResultTable& table, const PageSource& fetch,
                       std::stop_token stop);

}  // namespace quillrank
