// split_keyword_list against token-by-token removal; every token is a piece of the input with
// its "http://" removed.
#include <cstdlib>

#include "fuzz_input.h"
#include "keywords/keyword_list.h"
#include "support/reference_text.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const std::string text = input.remaining();
  const std::vector<QueryRow> rows = split_keyword_list(text);
  if (text.size() <= 512 && rows != reference::split_keyword_list(text)) std::abort();
  const GbkText stream = replace_text(text, "http://", "", false);
  for (const QueryRow& row : rows) {
    if (row.site.empty() && row.keyword.empty()) std::abort();
    if (stream.find(row.site) == std::string::npos) std::abort();
    if (stream.find(row.keyword) == std::string::npos) std::abort();
  }
  return 0;
}
