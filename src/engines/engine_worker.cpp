#include "engines/engine_worker.h"

#include "engines/extract.h"

namespace quillrank {
namespace {

constexpr std::string_view kRankOpen = "\xB5\xDA";   // 第
constexpr std::string_view kRankClose = "\xC3\xFB";  // 名

GbkText link_marker(const EngineProfile& profile, std::string_view site_cell) {
  return concat_text(profile.link_prefix, "\"", site_cell);
}

}  // namespace

GbkText rank_cell_text(const EngineProfile& profile, std::string_view page_text, int found_at,
                       int marker_length, int page) {
  // The marker as it stands on the page at the occurrence the presence test found, so a site
  // typed in another letter case is ranked at its own link. No exact occurrence of these bytes
  // can come earlier than the first case-insensitive one.
  const std::string_view on_page = page_text.substr(found_at - 1, marker_length);
  const GbkText segment = extract_between(page_text, on_page, profile.segment_end, false, true);
  const GbkText field =
      extract_between(segment, profile.rank_left, profile.rank_right, false, true);

  const double page_number = page;
  double position = 0;
  switch (profile.rank_rule) {
    case RankRule::verbatim:
      return concat_text(kRankOpen, field, kRankClose);
    case RankRule::next_id_minus_one: {
      const double next_id = to_integer(field);
      position = next_id - 1 == -1 ? page_number * profile.page_size : next_id - 1;
      break;
    }
    case RankRule::page_offset_plus_index:
      position = (page_number - 1) * profile.page_size + to_integer(field) + 1;
      break;
  }
  return concat_text(kRankOpen, to_text(position), kRankClose);
}

void run_engine_worker(const EngineProfile& profile, ResultTable& table, const PageSource& fetch,
                       std::stop_token stop) {
  const int rows = table.row_count();
  for (int row = 0; row < rows; ++row) {
    bool found = false;
    bool any_page_failed = false;
    GbkText cell;
    for (int page = 1; page <= profile.page_count && !found; ++page) {
      const GbkText keyword = table.get_cell_text(row, 1);
      FetchedPage fetched = fetch(query_url(profile, keyword, page), stop);
      if (stop.stop_requested()) return;
      any_page_failed = any_page_failed || !fetched.ok;
      const GbkText page_text = to_text(std::move(fetched.body));
      const GbkText marker = link_marker(profile, table.get_cell_text(row, 0));
      const int found_at = find_text(page_text, marker, /*ignore_case=*/true);
      found = found_at != -1;
      if (found) cell = rank_cell_text(profile, page_text, found_at, text_length(marker), page);
    }
    if (!found) cell = any_page_failed ? kQueryFailedText : kNotFoundText;
    table.set_cell_text(row, profile.column, cell);
  }
}

}  // namespace quillrank
