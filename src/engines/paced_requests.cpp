#include "engines/paced_requests.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "engines/page_verdict.h"

namespace quillrank {

bool pause_for(std::stop_token stop, double seconds) {
  if (seconds > 0) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, std::chrono::duration<double>(seconds), [] { return false; });
  }
  return !stop.stop_requested();
}

PacedRequests::PacedRequests(PageSource fetch, RequestOptions options, const EnginePacing& pacing,
                             std::stop_token stop)
    : fetch_(std::move(fetch)),
      options_(std::move(options)),
      pacing_(pacing),
      stop_(std::move(stop)),
      random_(std::random_device{}()) {}

std::optional<FetchedPage> PacedRequests::get(std::string_view url, std::string_view referer) {
  options_.referer = referer;
  for (int attempt = 0;; ++attempt) {
    if (asked_ && !pause_for(stop_, uniform(pacing_.delay_min, pacing_.delay_max))) {
      return std::nullopt;
    }
    asked_ = true;
    FetchedPage page = fetch_(PageRequest(url, &options_), stop_);
    if (stop_.stop_requested()) return std::nullopt;
    if (attempt >= pacing_.retries || !worth_retrying(page)) return page;
    const double backoff = std::min(30.0, std::ldexp(1.0, std::min(attempt, 5)));
    if (!pause_for(stop_, std::min(30.0, backoff * uniform(1.0, 1.25)))) return std::nullopt;
  }
}

double PacedRequests::uniform(double low, double high) {
  return high > low ? std::uniform_real_distribution<double>(low, high)(random_) : low;
}

}  // namespace quillrank
