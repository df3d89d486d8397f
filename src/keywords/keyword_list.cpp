#include "keywords/keyword_list.h"

#include "text/char_scan.h"

namespace quillrank {
namespace {

// 注意：一行一组数据。例：
constexpr std::string_view kSampleNote =
    "\xD7\xA2\xD2\xE2\xA3\xBA\xD2\xBB\xD0\xD0\xD2\xBB\xD7\xE9\xCA\xFD\xBE\xDD\xA1\xA3\xC0\xFD"
    "\xA3\xBA";
constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

// Blanks at both ends of `text` (a run of whole characters) dropped: spaces, tabs and the
// full-width space. Walks character starts, so a second byte is never taken for a blank.
std::string_view trim_blanks(std::string_view text) {
  std::size_t first = 0, end = 0;
  bool seen = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t width = scan::is_lead_byte(text[pos]) ? 2 : 1;
    const std::string_view character = text.substr(pos, width);
    const bool blank = character == " " || character == "\t" || character == kFullWidthSpace;
    if (!blank) {
      if (!seen) first = pos;
      seen = true;
      end = pos + character.size();
    }
    pos += width;
  }
  return seen ? text.substr(first, end - first) : std::string_view();
}

bool starts_with_folded(std::string_view text, std::string_view folded) {
  return text.size() >= folded.size() &&
         scan::fold_ascii_case(text.substr(0, folded.size())) == folded;
}

// The site as ranking compares it: blanks and an "https://" before it dropped.
std::string_view site_part(std::string_view site) {
  site = trim_blanks(site);
  if (starts_with_folded(site, "https://")) site = trim_blanks(site.substr(8));
  return site;
}

// "[" + something + "]", the closing bracket a character of its own (not a second byte).
bool is_entry(std::string_view line) {
  const std::size_t last = line.size() - 1;
  return line.size() > 2 && line.front() == '[' && line.back() == ']' &&
         scan::next_char_start(line, 0, last) == last;
}

class ListReader {
 public:
  void line(std::string_view line, std::size_t number) {
    const std::string_view trimmed = trim_blanks(line);
    if (trimmed.empty() || trimmed == kSampleNote) return;
    const std::size_t bar = scan::find_at_char_start(trimmed, "|", 0);
    if (bar == scan::npos && is_entry(trimmed)) {
      const std::string_view site = site_part(trimmed.substr(1, trimmed.size() - 2));
      if (!site.empty()) {
        add({GbkText(site), "", GbkText(trimmed)});
        return;
      }
    }
    if (bar != scan::npos) {
      const std::string_view site = site_part(trimmed.substr(0, bar));
      const std::string_view keyword = trim_blanks(trimmed.substr(bar + 1));
      if (!site.empty() && !keyword.empty()) {
        add({GbkText(site), GbkText(keyword), ""});
        return;
      }
    }
    if (list_.left_out.size() < kMaxReportedLines) {
      list_.left_out.push_back({number, GbkText(scan::head(line, kMaxReportedLineBytes))});
    }
    ++list_.left_out_count;
  }

  KeywordList take() {
    if (list_.too_many) list_.rows.clear();
    return std::move(list_);
  }

 private:
  void add(QueryRow row) {
    if (list_.rows.size() == kMaxListRows) list_.too_many = true;
    if (!list_.too_many) list_.rows.push_back(std::move(row));
  }

  KeywordList list_;
};

}  // namespace

KeywordList split_keyword_list(std::string_view text) {
  // Copied only when there is an "http://" to remove: a list may be tens of megabytes.
  GbkText without_http;
  if (find_text(text, "http://", /*ignore_case=*/true) != -1) {
    without_http = replace_text(text, "http://", "", /*case_sensitive=*/false);
    text = without_http;
  }
  const std::string_view list = text;
  ListReader reader;
  std::size_t number = 1, line_start = 0, pos = 0;
  while (pos < list.size()) {
    const char c = list[pos];
    if (c != '\r' && c != '\n') {
      pos += scan::is_lead_byte(c) ? 2 : 1;
      continue;
    }
    reader.line(list.substr(line_start, pos - line_start), number++);
    pos += c == '\r' && pos + 1 < list.size() && list[pos + 1] == '\n' ? 2 : 1;
    line_start = pos;
  }
  if (line_start < list.size()) reader.line(list.substr(line_start), number);
  return reader.take();
}

const GbkText& sample_text() {
  // 注意：一行一组数据。例： / www.qq.com|QQ / www.baidu.com|百度 / www.google.com|谷歌
  static const GbkText text = concat_text(kSampleNote,
                                          "\r\n"
                                          "www.qq.com|QQ\r\n"
                                          "www.baidu.com|\xB0\xD9\xB6\xC8\r\n"
                                          "www.google.com|\xB9\xC8\xB8\xE8");
  return text;
}

bool is_sample_text(std::string_view box_text) {
  return compare_text(box_text, sample_text()) == 0;
}

}  // namespace quillrank
