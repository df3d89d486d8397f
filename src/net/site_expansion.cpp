#include "net/site_expansion.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "net/page_charset.h"
#include "text/char_scan.h"
#include "text/extract.h"
#include "text/segment_text.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

struct SiteAddress {
  GbkText host;  // what the lines name the site by
  GbkText url;   // the home page to fetch
};

// Every "http://" is removed from the entry, whatever its case; an address written with
// "https://" loses that prefix too and is fetched over https.
SiteAddress site_address(std::string_view entry) {
  GbkText host = extract_between(replace_text(entry, "http://", "", false), "[", "]", false, false);
  if (find_text(left_text(host, 8), "https://", true) == 1) {
    host.erase(0, 8);
    return SiteAddress{host, concat_text("https://", host)};
  }
  return SiteAddress{host, concat_text("http://", host)};
}

// At most `max` bytes of `text`, cut at a character start; `cut` is set when that cut some.
std::string_view within(std::string_view text, std::size_t max, bool& cut) {
  const std::string_view kept = scan::head(text, max);
  cut = cut || kept.size() < text.size();
  return kept;
}

// No box can show a line break inside a keyword: each CR, LF or tab of a word becomes a blank,
// so the word stays one line, one pair and one row.
GbkText one_line(GbkText word) {
  std::replace_if(
      word.begin(), word.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
  return word;
}

GbkText gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

// Why a home page gives no words; empty when it can be read.
GbkText unreadable_reason(const FetchedPage& fetched) {
  if (fetched.transport != Transport::complete) return transport_reason(fetched);
  if (!fetched.ok()) return "HTTP " + std::to_string(fetched.status);
  return "";
}

// The entry's lines, or nothing with `reason` set when its home page gives no words.
GbkText expansion_lines(std::string_view entry, const PageSource& fetch, std::stop_token stop,
                        bool& cut, GbkText& reason) {
  const SiteAddress site = site_address(entry);
  const FetchedPage fetched = fetch(site.url, stop);
  reason = unreadable_reason(fetched);
  if (!reason.empty()) {
    reason = concat_text(gbk("首页 "), site.url, gbk(" 无法读取："), reason);
    return "";
  }
  GbkText page = to_text(fetched.body);
  if (detect_page_charset(page) == kUtf8Verdict) page = utf8_to_gbk(to_bytes(page));
  const GbkText title = read_page_title(page);
  const GbkText keywords = read_meta_value(page, "keywords", "content=", 10);
  if (remove_spaces(title).empty() && remove_spaces(keywords).empty()) {
    reason = concat_text(gbk("首页 "), site.url, gbk(" 没有标题和关键词"));
    return "";
  }
  const std::string_view kept_title = within(title, kMaxSiteWordBytes, cut);
  std::vector<GbkText> words = site_words(
      kept_title, within(keywords, kMaxSiteWordBytes - kept_title.size(), cut), kMaxSiteWords + 1);
  if (words.size() > kMaxSiteWords) {
    words.pop_back();
    cut = true;
  }
  GbkText lines;
  for (const GbkText& word : words) {
    if (!lines.empty()) lines += "\r\n";
    lines += concat_text(site.host, "|", one_line(word));
  }
  return lines;
}

}  // namespace

std::vector<GbkText> collect_segments(std::string_view text, char left, char right) {
  // Most lists name no entry: a text without the marker byte is not indexed at all (the window
  // asks this of the whole box at every press of the start button).
  if (text.find(left) == std::string_view::npos) return {};
  SegmentText rest(text, SegmentRules{.open = std::string(1, left), .close = right});
  std::vector<GbkText> segments;
  while (std::optional<GbkText> segment = rest.first_segment()) {
    rest.replace_all(*segment, "");
    segments.push_back(std::move(*segment));
  }
  return segments;
}

GbkText read_page_title(std::string_view page) {
  return extract_between(page, "<title>", "</title>", false, false);
}

std::vector<GbkText> site_words(std::string_view title, std::string_view keywords,
                                std::size_t max_words) {
  GbkText k = concat_text(title, "|", keywords);
  for (const char* separator : {",", "_", "-"}) k = replace_text(k, separator, "|", true);
  k = replace_text(k, "||", "|", true);
  if (left_text(k, 1) == "|") k = right_text(k, text_length(k) - 1);
  if (right_text(k, 1) == "|") k = left_text(k, text_length(k) - 1);
  k += '|';

  // Step by step: the input is at most kMaxSiteWordBytes and the list at most kMaxSiteWords
  // long when an expansion calls this, so each removal's pass over the rest stays cheap.
  std::vector<GbkText> words;
  for (int bar; words.size() < max_words && (bar = find_text(k, "|", false)) != -1;) {
    GbkText word = left_text(k, bar - 1);
    k = replace_text(k, concat_text(word, "|"), "", false);
    words.push_back(std::move(word));
  }
  return words;
}

GbkText expand_site_entries(std::string_view box_text, const PageSource& fetch,
                            std::stop_token stop, ExpansionReport* report) {
  const std::vector<GbkText> entries = collect_segments(box_text, '[', ']');
  if (entries.empty()) return GbkText(box_text);
  // Each entry is replaced in the text as the earlier replacements left it, so lines that
  // spell a later entry are expanded as that entry too.
  SegmentText box(box_text, SegmentRules{.open = "[", .close = ']'});
  // A listed entry can repeat (see collect_segments); its page is fetched once all the same.
  // Entries that failed map to no lines and stay in the text.
  std::unordered_map<GbkText, std::optional<GbkText>> lines_of;
  for (const GbkText& entry : entries) {
    auto [it, fresh] = lines_of.try_emplace(entry);
    if (fresh) {
      bool cut = false;
      GbkText reason;
      GbkText lines = expansion_lines(entry, fetch, stop, cut, reason);
      if (stop.stop_requested()) return GbkText(box_text);
      if (cut && report) report->cut_entries.push_back(entry);
      if (reason.empty()) {
        it->second = std::move(lines);
      } else if (report) {
        report->failed.push_back({entry, std::move(reason)});
      }
    }
    if (!it->second) continue;
    if (!box.replace_all(entry, *it->second, kMaxExpandedBytes)) {
      if (report) report->too_large = true;
      return GbkText(box_text);
    }
  }
  return box.text();
}

}  // namespace quillrank
