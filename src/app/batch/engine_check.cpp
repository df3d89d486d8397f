#include "app/batch/engine_check.h"

#include <cstdio>

#include "engines/engine_worker.h"
#include "text/percent_escape.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// An address from a page or a server, as a terminal may show it: every byte other than
// printable ASCII as %XX.
std::string shown(std::string_view address) {
  return percent_escape(address, [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace

EngineCheck check_engine(const EngineProfile& profile, const PageSource& source,
                         const std::string& keyword, std::stop_token stop) {
  EngineCheck check{.name = profile.name, .url = query_url(profile, utf8_to_gbk_text(keyword), 1)};
  RequestOptions options = request_options(profile);
  if (profile.session) options.referer = profile.home_page;
  const auto start = std::chrono::steady_clock::now();
  const FetchedPage page = source(PageRequest(check.url, &options), stop);
  check.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  check.status = page.status;
  check.final_url = shown(page.final_url);
  const PageVerdict verdict = judge_page(profile, page);
  check.verdict = verdict.verdict;
  check.reason = gbk_to_utf8(verdict.reason);
  const std::string_view body = page.body.bytes;
  const std::size_t skip = profile.link_prefix.size() + 1;  // the prefix and its quote
  for_each_result_link(profile, body, [&](std::size_t offset) {
    ++check.links;
    if (check.first.size() < 3) {
      const std::string_view address = body.substr(offset + skip, 2048);
      check.first.push_back(shown(address.substr(0, address.find('"'))));
    }
    return true;
  });
  return check;
}

std::string check_line(const EngineCheck& check) {
  std::string line = check.name + ": " + std::string(verdict_name(check.verdict));
  if (!check.reason.empty()) line += " (" + check.reason + ")";
  line += ", HTTP " + std::to_string(check.status) + ", " + std::to_string(check.links) +
          " result links";
  if (!check.first.empty()) {
    line += " (";
    for (std::size_t i = 0; i < check.first.size(); ++i) {
      line += (i ? ", " : "") + check.first[i];
    }
    line += ")";
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, ", %.2f s, ", check.took.count() / 1000.0);
  return line + seconds + check.final_url;
}

}  // namespace quillrank
