// Pages as a fake PageSource hands them to a worker: served whole with a status, or not at all.
#pragma once

#include <string>

#include "engines/engines.h"
#include "net/fetched_page.h"

namespace quillrank::testing {

inline FetchedPage served(std::string body, long status = 200) {
  FetchedPage page;
  page.body.bytes = std::move(body);
  page.status = status;
  page.transport = Transport::complete;
  return page;
}

// A result page of every engine at once (each engine's result-link shape), none of whose
// results is the site a test ranks.
inline FetchedPage results_elsewhere() {
  std::string body;
  for (const Engine& engine : builtin_engines(ProfileSet::classic)) {
    body += engine.profile.link_prefix + "\"http://elsewhere.example/\" ";
  }
  return served(body);
}

inline FetchedPage unreachable() {
  FetchedPage page;
  page.transport = Transport::failed;
  page.error = "Couldn't connect to server";
  return page;
}

}  // namespace quillrank::testing
