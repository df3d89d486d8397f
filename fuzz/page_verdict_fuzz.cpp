// The page verdict on arbitrary pages, statuses and addresses: never a crash; a page with a
// result link of the profile's shape before its first zero byte and a complete 2xx answer (not 204)
// is a result unless an address was a verification address; a blocked, failed or unreadable page
// always says why.
#include <cstdlib>

#include "engines/engines.h"
#include "engines/page_verdict.h"
#include "fuzz_input.h"
#include "text/char_scan.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const ProfileSet set = input.byte() % 2 ? ProfileSet::current : ProfileSet::classic;
  const Engines& engines = builtin_engines(set);
  const EngineProfile& profile = engines[input.byte() % engines.size()].profile;
  FetchedPage page;
  page.status = static_cast<long>(input.byte()) * 3;
  page.transport = static_cast<Transport>(input.byte() % 7);
  page.final_url = input.text(40);
  for (int n = input.byte() % 3; n > 0; --n) page.redirects.push_back(input.text(40));
  page.body.bytes = input.remaining();
  if (input.byte() % 2) page.body.bytes.insert(0, std::string(profile.link_prefix) + "\"");

  const PageVerdict verdict = judge_page(profile, page);
  if (verdict.verdict != Verdict::result && verdict.reason.empty()) std::abort();
  // A result page holds the link prefix and a quote before its first zero byte, where the rank
  // search reads (at a character start, or at any byte of a UTF-8 page), ASCII case ignored.
  const std::string link = scan::fold_ascii_case(profile.link_prefix + "\"");
  const std::string_view text = page_text_view(page);
  if (verdict.verdict == Verdict::result &&
      (!page.ok() || text.find('\0') != std::string_view::npos ||
       scan::fold_ascii_case(text).find(link) == std::string::npos)) {
    std::abort();
  }
  return 0;
}
