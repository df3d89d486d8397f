// split_keyword_list on any text: every row is a piece of one line of the text with its
// "http://" removed, never holds a line end or blanks at its ends, and names a site and a
// keyword (or is a site entry); rows and left-out lines together are at most the lines.
#include <algorithm>
#include <cstdlib>

#include "fuzz_input.h"
#include "keywords/keyword_list.h"

using namespace quillrank;

namespace {

bool blank_at_an_end(std::string_view text) {
  return !text.empty() &&
         (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t');
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
