#include "keywords/keyword_list.h"

#include "text/char_scan.h"

namespace quillrank {

std::vector<QueryRow> split_keyword_list(std::string_view text) {
  GbkText stream = replace_text(text, "http://", "", /*case_sensitive=*/false);
  stream += "\r\n";
  stream = replace_text(stream, "\r\n", "|", /*case_sensitive=*/true);

  // Tokens are the pieces that a "|" at a character start ends; what follows the last one is
  // no token. The walk keeps its character starts from the front, as a search would.
  std::vector<GbkText> tokens;
  std::size_t token_start = 0;
  for (std::size_t bar = scan::find_at_char_start(stream, "|", 0); bar != scan::npos;
       bar = scan::find_at_char_start(stream, "|", bar + 1)) {
    tokens.emplace_back(stream, token_start, bar - token_start);
    token_start = bar + 1;
  }

  std::vector<QueryRow> rows;
  rows.reserve(tokens.size() / 2 + 1);
  for (std::size_t i = 0; i < tokens.size(); i += 2) {
    QueryRow row{std::move(tokens[i]), i + 1 < tokens.size() ? std::move(tokens[i + 1]) : ""};
    if (row.site.empty() && row.keyword.empty()) continue;
    rows.push_back(std::move(row));
  }
  return rows;
}

const GbkText& sample_text() {
  // 注意：一行一组数据。例： / www.qq.com|QQ / www.baidu.com|百度 / www.google.com|谷歌
  static const GbkText text =
      "\xD7\xA2\xD2\xE2\xA3\xBA\xD2\xBB\xD0\xD0\xD2\xBB\xD7\xE9\xCA\xFD\xBE\xDD\xA1\xA3\xC0\xFD"
      "\xA3\xBA\r\n"
      "www.qq.com|QQ\r\n"
      "www.baidu.com|\xB0\xD9\xB6\xC8\r\n"
      "www.google.com|\xB9\xC8\xB8\xE8";
  return text;
}

bool is_sample_text(std::string_view box_text) {
  return compare_text(box_text, sample_text()) == 0;
}

}  // namespace quillrank
