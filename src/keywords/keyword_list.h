// The keyword list: the site|keyword text of the input box, read line by line into (site,
// keyword) pairs at the start of a run, and the sample text the box holds at program start.
#pragma once

#include <cstddef>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

struct QueryRow {
  GbkText site;     // a host (and maybe a path), without "http://" or "https://"
  GbkText keyword;  // empty only for a site entry that is still in the list
  // The "[site]" line itself when the line is a site entry that was not expanded (its home page
  // could not be read): the row stands for the entry and no engine is asked for it.
  GbkText entry;
  friend bool operator==(const QueryRow&, const QueryRow&) = default;
};

// A line that holds no pair, left out of the run and reported.
struct ListLine {
  std::size_t number = 0;  // 1-based, counting every line of the list
  GbkText text;            // at most kMaxReportedLineBytes of it
};

// One run asks for at most this many rows: more than any day of ranking can ask, and few
// enough that a list at the keyword file's size cap stays a few times its size in memory.
inline constexpr std::size_t kMaxListRows = 100000;
// Left-out lines are reported up to this many, each up to this many bytes; the rest only counted.
inline constexpr std::size_t kMaxReportedLines = 50;
inline constexpr std::size_t kMaxReportedLineBytes = 120;

struct KeywordList {
  std::vector<QueryRow> rows;      // in list order; empty when too_many
  std::vector<ListLine> left_out;  // the first kMaxReportedLines lines that hold no pair
  std::size_t left_out_count = 0;  // every line that holds no pair
  bool too_many = false;           // more than kMaxListRows rows: none are given
};

// Reads the list line by line. Lines end at CR LF, LF or CR (at character starts). Every
// "http://" (any case) is removed, inside keywords too; blank lines and the sample's note line
// are skipped. A line is the site, a "|" (its first at a character start), and the keyword,
// which may hold further bars. Blanks (space, tab, full-width space) around the site and the
// keyword are dropped, and so is an "https://" before the site. A line that is one "[...]" is
// a site entry's row (see QueryRow::entry). Any other line without a bar, or with an empty
// site or keyword, is left out. Linear in the list's size.
KeywordList split_keyword_list(std::string_view text);

// The note line and three example lines the input box starts with, CR LF between them.
const GbkText& sample_text();

// True when the box still holds the untouched sample, byte for byte.
bool is_sample_text(std::string_view box_text);

}  // namespace quillrank
