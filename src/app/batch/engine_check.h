// quillrank-batch --check: one query per chosen engine, and one line per engine on what came
// back, for a user to see at once whether each engine answers this machine with result pages.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "engines/engine_profile.h"
#include "engines/page_verdict.h"
#include "net/fetched_page.h"

namespace quillrank {

struct EngineCheck {
  std::string name;  // the profile's name
  std::string url;   // the query asked
  long status = 0;
  std::string final_url{};
  Verdict verdict = Verdict::failed;
  std::string reason{};               // UTF-8; empty for a result page
  int links = 0;                      // result links the profile recognised on the page
  std::vector<std::string> first{};   // the first three of their addresses
  std::chrono::milliseconds took{0};  // the whole fetch, redirects and warm-up included
};

// Asks `source` for page 1 of `keyword` (UTF-8) as the engine's worker would, and judges it.
EngineCheck check_engine(const EngineProfile& profile, const PageSource& source,
                         const std::string& keyword, std::stop_token stop = {});

// "Baidu: result, HTTP 200, 10 result links (a, b, c), 0.84 s, <final address>"; a page that is
// no result page says its verdict and reason instead.
std::string check_line(const EngineCheck& check);

}  // namespace quillrank
