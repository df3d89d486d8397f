// split_keyword_list on any text: every row is a piece of one line of the text with its
// "http://" removed, has no blank as its first or last character, and names a site and a
// keyword (or is a site entry); rows and left-out lines together are at most the lines.
#include <algorithm>
#include <cstdlib>

#include "fuzz_input.h"
#include "keywords/keyword_list.h"
#include "text/char_scan.h"

using namespace quillrank;

namespace {

// A blank as the first or the last character (a trail byte that happens to be 0x20 is none).
bool blank_at_an_end(std::string_view text) {
  if (text.empty()) return false;
  std::size_t last = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += scan::is_lead_byte(text[pos]) ? 2 : 1) {
    last = pos;
  }
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return blank(text.front()) || (last + 1 == text.size() && blank(text[last]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const std::string text = input.remaining();
  const KeywordList list = split_keyword_list(text);
  const GbkText stream = replace_text(text, "http://", "", false);
  const std::size_t lines =
      1 + static_cast<std::size_t>(std::count_if(stream.begin(), stream.end(),
                                                 [](char c) { return c == '\r' || c == '\n'; }));
  if (list.rows.size() + list.left_out_count > lines) std::abort();
  if (list.left_out.size() > kMaxReportedLines) std::abort();
  for (const ListLine& line : list.left_out) {
    if (line.number == 0 || line.number > lines) std::abort();
    if (line.text.size() > kMaxReportedLineBytes) std::abort();
  }
  for (const QueryRow& row : list.rows) {
    if (row.site.empty() || (row.keyword.empty() == row.entry.empty())) std::abort();
    if (blank_at_an_end(row.site) || blank_at_an_end(row.keyword)) std::abort();
    if (stream.find(row.site) == std::string::npos) std::abort();
    if (stream.find(row.keyword) == std::string::npos) std::abort();
    if (!row.entry.empty() && (row.entry.front() != '[' || row.entry.back() != ']')) std::abort();
  }
  return 0;
}
