// PacedRequests: one client's requests to an engine, paced as the engine's pacing says (a random
// pause between two requests) and retried when worth it (after 1 s, 2 s, 4 s ... at most 30 s).
// Each member of an engine's pool has its own, so its pacing clock is its own.
#pragma once

#include <optional>
#include <random>
#include <stop_token>
#include <string_view>

#include "engines/engine_worker.h"
#include "net/fetched_page.h"

namespace quillrank {

// Waits `seconds` unless `stop` is requested first; false when it was.
bool pause_for(std::stop_token stop, double seconds);

class PacedRequests {
 public:
  PacedRequests(PageSource fetch, RequestOptions options, const EnginePacing& pacing,
                std::stop_token stop);

  // nullopt once a stop was requested. `referer`: the page the request comes from, if any.
  std::optional<FetchedPage> get(std::string_view url, std::string_view referer);

 private:
  double uniform(double low, double high);

  PageSource fetch_;
  RequestOptions options_;
  const EnginePacing& pacing_;
  std::stop_token stop_;
  std::mt19937 random_;
  bool asked_ = false;
};

}  // namespace quillrank
