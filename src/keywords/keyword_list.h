// The keyword list: the site|keyword text of the input box, its split into (site, keyword)
// pairs at the start of a run, and the sample text the box holds at program start.
#pragma once

#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

struct QueryRow {
  GbkText site;
  GbkText keyword;
  friend bool operator==(const QueryRow&, const QueryRow&) = default;
};

// Every "http://" (any case) is removed, then the text is one stream of tokens separated by each
// "|" and each CR LF (at character starts), paired two by two across line ends; an odd last token
// pairs with an empty keyword. Pairs whose site and keyword are both empty are dropped. Linear.
std::vector<QueryRow> split_keyword_list(std::string_view text);

// The note line and three example lines the input box starts with, CR LF between them.
const GbkText& sample_text();

// True when the box still holds the untouched sample, byte for byte.
bool is_sample_text(std::string_view box_text);

}  // namespace quillrank
