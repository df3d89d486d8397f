// Reading a site's rank off an arbitrary page under an arbitrary profile: the link search and
// every rank rule never crash, a found link is one the page really holds and ends where the site's
// host does, a rank is 1 .. kMaxRank or a short reason why none, and the results a page adds to
// the row's count are never fewer than none.
#include <algorithm>
#include <cstdlib>

#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "fuzz_input.h"
#include "text/char_scan.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput input(data, size);
  const ProfileSet set = input.byte() % 2 ? ProfileSet::current : ProfileSet::classic;
  const Engines& engines = builtin_engines(set);
  EngineProfile profile = engines[input.byte() % engines.size()].profile;
  profile.rank_rule = static_cast<RankRule>(input.byte() % 6);
  if (input.byte() % 2) profile.results_from = input.text(4);
  if (input.byte() % 2) profile.results_to = input.text(4);
  profile.page_size = 1 + input.byte();
  if (input.byte() % 2) profile.link_prefix = input.text(6);
  if (profile.link_prefix.empty()) profile.link_prefix = "h";
  profile.link_schemes = {input.text(8)};
  if (input.byte() % 2) profile.link_schemes.push_back(input.text(8));
  profile.segment_end = input.text(4);
  profile.rank_left = input.text(4);
  profile.rank_right = input.text(4);
  const std::string site = input.text(12);  // as a row holds it: no scheme
  const int page = 1 + input.byte() % 100;
  const int results_read = input.byte() * 7;
  const std::string page_text = input.remaining();

  if (results_held(profile, page_text, results_read) < results_read) std::abort();
  const FoundLink link = find_site_link(profile, page_text, site);
  if (link.at == -1) return 0;
  const std::string marker = scan::fold_ascii_case(page_text.substr(link.at - 1, link.length));
  if (!marker.starts_with(scan::fold_ascii_case(profile.link_prefix + "\"")) || link.ordinal < 1) {
    std::abort();
  }
  // A site's link ends where its host does (unless the site names a path).
  const std::string_view tail = std::string_view(page_text).substr(link.at - 1 + link.length);
  if (site.find('/') == std::string::npos && !site.empty() && !tail.empty() &&
      std::string_view("/:?#\"'").find(tail.front()) == std::string_view::npos) {
    std::abort();
  }
  // The address that ranks is the link's own text: bounded, without a quote or a control byte.
  const std::string_view address = link_address(profile, page_text, link);
  if (address.size() > kMaxAddress ||
      address.data() !=
          tail.data() - (link.length - static_cast<int>(profile.link_prefix.size()) - 1) ||
      std::any_of(address.begin(), address.end(),
                  [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; })) {
    std::abort();
  }
  const RankReading rank = read_rank(profile, page_text, link, page, results_read);
  if (rank.rank < 0 || rank.rank > kMaxRank || (rank.rank == 0) == rank.problem.empty() ||
      rank.problem.size() > 200) {
    std::abort();
  }
  return 0;
}
