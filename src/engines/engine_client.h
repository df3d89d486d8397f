// The live page source of one engine's worker for a run, as its profile asks: a session (one
// client, kept connections, a cookie store kept in the engine's cookie file) or a new client
// for every page.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engines/engine_profile.h"
#include "engines/engines.h"
#include "net/fetched_page.h"

namespace quillrank {

// Where an engine keeps its cookies between runs: `cookie_folder`/<engine key>.txt; empty when
// the folder is empty or the profile keeps none.
std::string engine_cookie_file(const EngineProfile& profile, std::string_view engine_key,
                               const std::string& cookie_folder);

// `connect_to` and `ca_file` as PageFetcher takes them (tests); `cookie_folder` as above.
PageSource engine_page_source(const EngineProfile& profile, std::string_view engine_key,
                              const std::string& cookie_folder, const std::string& connect_to = {},
                              const std::string& ca_file = {});

// Makes a worker's page source for a run of `engine`.
using WorkerSources = std::function<PageSource(const Engine& engine)>;

// Each engine's live source (the engine's key names its cookie file).
WorkerSources live_engine_sources(std::string cookie_folder);

}  // namespace quillrank
