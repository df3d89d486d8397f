// The settings file parser on arbitrary text: a settings value or a "path:line: ..." message
// (the settings file's, or a proxy file's), never a crash or an exception; parsed values always
// within their ranges, engine keys safe to name files with, profiles never blind (no link scheme
// or marker) and never able to smuggle a line break into a request header; every engine's proxy
// pool has a member and valid proxies.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "net/proxy_address.h"
#include "settings/settings.h"

using namespace quillrank;

namespace {

// Whether `error` holds "NAME:LINE: ".
bool names_a_line(const std::string& error) {
  for (std::size_t colon = error.find(':'); colon != std::string::npos;
       colon = error.find(':', colon + 1)) {
    std::size_t end = colon + 1;
    while (end < error.size() && error[end] >= '0' && error[end] <= '9') ++end;
    if (end > colon + 1 && error.compare(end, 2, ": ") == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = parse_settings(text, "f.toml");
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    // A proxy file's problem is named by that file and its line instead.
    if (!error->starts_with("f.toml:") && !names_a_line(*error)) std::abort();
    return 0;
  }
  const Engines& engines = std::get<Settings>(parsed).engines;
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    // Keys name files and tables: each valid, and each engine's own.
    if (!valid_engine_key(engines[engine].key) ||
        engine_index(engines, engines[engine].key) != engine) {
      std::abort();
    }
    const EnginePacing& pacing = engines[engine].pacing;
    if (!(pacing.delay_min >= 0 && pacing.delay_min <= pacing.delay_max &&
          pacing.delay_max <= 3600 && pacing.retries >= 0 && pacing.retries <= 10 &&
          pacing.block_pause >= 0 && pacing.block_pause <= 3600)) {
      std::abort();
    }
  }
  for (const Engine& engine : engines) {
    // A pool always has a member; each proxy reads back as itself.
    const ProxyPool& pool = engine.pool;
    if ((pool.proxies.empty() && !pool.direct) || pool.failures < 1 || pool.failures > 100 ||
        pool.proxies.size() > kMaxProxyEntries) {
      std::abort();
    }
    for (const std::string& proxy : pool.proxies) {
      const auto parsed = parse_proxy_address(proxy);
      if (!std::holds_alternative<ProxyAddress>(parsed) ||
          std::get<ProxyAddress>(parsed).url() != proxy) {
        std::abort();
      }
    }
  }
  for (const Engine& engine : engines) {
    const EngineProfile& profile = engine.profile;
    const bool header_lines_clean =
        std::ranges::none_of(profile.headers,
                             [](const std::string& header) {
                               return header.find_first_of("\r\n") != std::string::npos;
                             }) &&
        profile.user_agent.find_first_of("\r\n") == std::string::npos;
    if (profile.page_count < 1 || profile.page_count > 100 || profile.page_size < 1 ||
        profile.page_size > 1000 || profile.link_schemes.empty() || profile.link_prefix.empty() ||
        profile.host.empty() || !header_lines_clean) {
      std::abort();
    }
  }
  if (parse_delay(text)) {
    const auto [low, high] = *parse_delay(text);
    if (!(low >= 0 && low <= high && high <= 3600)) std::abort();
  }
  return 0;
}
