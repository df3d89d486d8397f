// Site entries: a "[site]" in the keyword list becomes one site|keyword line per word of that
// site's home-page title and meta keywords, at the start of every run.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "net/fetched_page.h"
#include "text/gbk_text.h"

namespace quillrank {

// One entry's lines are made from at most this many words, read from at most this many bytes of
// title and keywords, and the expanded text is at most kMaxExpandedBytes long: home pages cannot
// make the box grow without bound (lines can name other entries, which are expanded in turn).
inline constexpr std::size_t kMaxSiteWords = 1000;
inline constexpr std::size_t kMaxSiteWordBytes = 64 * 1024;
inline constexpr std::size_t kMaxExpandedBytes = 64u << 20;

// An entry whose home page gave no words: it stays in the text as it was.
struct FailedEntry {
  GbkText entry;   // "[site]" as the text holds it
  GbkText reason;  // why, in Chinese (GBK)
};

// What an expansion had to leave out.
struct ExpansionReport {
  std::vector<GbkText> cut_entries;  // entries whose words were cut at the limits above
  std::vector<FailedEntry> failed;   // entries left in the text, in order of first occurrence
  bool too_large = false;  // the text would pass kMaxExpandedBytes: it came back unchanged
};

// The box text with every site entry replaced by its lines; one fetch per distinct entry, on the
// caller's thread. An entry whose home page could not be read (the fetch failed, the status was
// not 2xx, or the page has neither title nor keywords) stays as it is and is listed in the
// report's `failed`. A text without "[" comes back unchanged and nothing is fetched. What was left
// out goes into `report` when given. Once `stop` is requested nothing more is fetched and the text
// comes back unchanged.
GbkText expand_site_entries(std::string_view box_text, const PageSource& fetch,
                            std::stop_token stop = {}, ExpansionReport* report = nullptr);

// The segments of `text` from a `left` character to the first `right` character after it,
// markers included, in order of first occurrence. Once a segment is listed every copy of it is
// removed from the rest, so it repeats only when such a removal brings a copy together (nested
// markers, as in [a][[a]a]). A `left` with no `right` after it ends the list. `left` and `right`
// are distinct one-byte characters other than ASCII letters; markers count only at character
// starts.
std::vector<GbkText> collect_segments(std::string_view text, char left, char right);

// The text between "<title>" and "</title>", letter case ignored. A title tag with attributes
// has no "<title>", and then the page from its sixth byte up to "</title>" is taken.
GbkText read_page_title(std::string_view page);

// The words of a site's title and keywords, split at "|", ",", "_" and "-" (a "||" counts once,
// so longer runs of bars leave empty words behind), each listed once: after a word, the word and
// every repetition of it (letter case ignored) are removed from the rest, also where it ends a
// longer word. Empty title and keywords give the one empty word; the list is empty only when
// the final bar is taken in as the second byte of a truncated two-byte character. The list stops
// after `max_words` words. Each word costs a pass over what is left: keep the input bounded.
std::vector<GbkText> site_words(std::string_view title, std::string_view keywords,
                                std::size_t max_words = SIZE_MAX);

}  // namespace quillrank
