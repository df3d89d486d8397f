// The fast removal and replacement loops against their step-by-step statements: collecting site
// entries, splitting a site's words, expanding a box against pages made from the input (with one
// fetch per distinct entry), and SegmentText under arbitrary sequences of replacements.
#include <cstdlib>
#include <set>
#include <vector>

#include "fuzz_input.h"
#include "net/site_expansion.h"
#include "support/expansion_reference.h"
#include "text/segment_text.h"

using namespace quillrank;

namespace {

void check_expansion(fuzzing::FuzzInput& input) {
  const std::string box = reference::marker_text_from(input.text(60), reference::entry_pieces());
  std::vector<std::string> pages;
  for (int i = 0; i < 3; ++i) pages.push_back(reference::marker_text_from(input.text(80)));
  int calls = 0;
  const PageSource fetch = [&](std::string_view url, std::stop_token) {
    ++calls;
    FetchedPage page;
    page.body.bytes = pages[std::hash<std::string_view>{}(url) % pages.size()];
    return page;
  };
  const GbkText expanded = expand_site_entries(box, fetch);
  const int expansion_calls = calls;
  if (expanded != reference::expand_site_entries(box, fetch)) std::abort();
  const std::vector<GbkText> entries = collect_segments(box, '[', ']');
  if (expansion_calls !=
      static_cast<int>(std::set<GbkText>(entries.begin(), entries.end()).size())) {
    std::abort();
  }
}

void check_segment_text(fuzzing::FuzzInput& input) {
  static const SegmentRules kRules[] = {{.open = "[", .close = ']'},
                                        {.open = "<meta ", .close = '>', .ignore_case = true},
                                        {.open = "", .close = '|', .ignore_case = true}};
  const SegmentRules& rules = kRules[input.byte() % 3];
  std::string expected = reference::marker_text_from(input.text(120));
  SegmentText text(expected, rules);
  // A text that grows by each replacement is cut off before it grows without bound.
  for (int step = 0; step < 6 && expected.size() < 4096; ++step) {
    const std::uint8_t how = input.byte();
    std::string segment;
    if (how & 1) {
      const std::optional<GbkText> first = text.first_segment();
      if (!first) break;
      segment = *first;
    } else {
      segment = reference::marker_text_from(input.text(4));
    }
    const std::string replacement =
        how & 2 ? std::string() : reference::marker_text_from(input.text(48));
    // Now and then a size limit the replacement may or may not pass.
    const std::string replaced = replace_text(expected, segment, replacement, !rules.ignore_case);
    const std::size_t limit = how & 4 ? expected.size() + input.byte() % 8 : SIZE_MAX;
    if (text.replace_all(segment, replacement, limit) != (replaced.size() <= limit)) std::abort();
    if (replaced.size() <= limit) expected = replaced;
    if (text.text() != expected || text.size() != expected.size()) std::abort();
    if (text.first_segment() !=
        reference::first_segment(expected, rules.open, rules.close, rules.ignore_case)) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  switch (input.byte() % 4) {
    case 0: {
      const std::string text =
          reference::marker_text_from(input.remaining(), reference::entry_pieces());
      if (collect_segments(text, '[', ']') != reference::collect_segments(text, "[", "]")) {
        std::abort();
      }
      break;
    }
    case 1: {
      const std::string title =
          reference::marker_text_from(input.text(20), reference::word_pieces());
      const std::string keywords =
          reference::marker_text_from(input.remaining(), reference::word_pieces());
      if (site_words(title, keywords) != reference::site_words(title, keywords)) std::abort();
      break;
    }
    case 2:
      check_expansion(input);
      break;
    default:
      check_segment_text(input);
  }
  return 0;
}
