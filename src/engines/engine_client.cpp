#include "engines/engine_client.h"

#include "net/page_fetcher.h"

namespace quillrank {

std::string engine_cookie_file(const EngineProfile& profile, std::string_view engine_key,
                               const std::string& cookie_folder) {
  if (!profile.session || !profile.cookies || cookie_folder.empty()) return {};
  return cookie_folder + "/" + std::string(engine_key) + ".txt";
}

PageSource engine_page_source(const EngineProfile& profile, std::string_view engine_key,
                              const std::string& cookie_folder, const std::string& connect_to,
                              const std::string& ca_file) {
  if (!profile.session) return PageFetcher::source(connect_to);
  return PageFetcher::session_source({
      .cookie_file = engine_cookie_file(profile, engine_key, cookie_folder),
      .warm_up_page = profile.warm_up ? profile.home_page : std::string(),
      .connect_to = connect_to,
      .ca_file = ca_file,
  });
}

WorkerSources live_engine_sources(std::string cookie_folder) {
  return [folder = std::move(cookie_folder)](const Engine& engine) {
    return engine_page_source(engine.profile, engine.key, folder);
  };
}

}  // namespace quillrank
