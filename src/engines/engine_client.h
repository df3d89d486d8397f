// The live page source of one engine's worker for a run, as its profile asks: a session (one
// client, kept connections, a cookie store kept in the engine's cookie file) or a new client
// for every page.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_profile.h"
#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "net/fetched_page.h"

namespace quillrank {

// Where an engine keeps its cookies between runs: `cookie_folder`/<engine key>.txt for the
// machine's own address, <engine key>@<host>_<port>.txt for the pool member that asks through
// `proxy` (each member is a client of its own, with cookies of its own); empty when the folder
// is empty or the profile keeps none.
std::string engine_cookie_file(const EngineProfile& profile, std::string_view engine_key,
                               const std::string& cookie_folder, const std::string& proxy = {});

// A pool member's name (scheme://host:port) as part of a file name: host_port, with what is not
// a-z, 0-9, '.' or '-' written as '_', so nothing in it can leave a folder.
std::string member_file_part(std::string_view member);

// The cookie file of the member of `engine`'s pool that pool_members names `member`: its proxy's
// file, or the machine's own address's for any other name; empty as engine_cookie_file says.
std::string member_cookie_file(const Engine& engine, std::string_view member,
                               const std::string& cookie_folder);

// Makes the page source of an engine whose profile says fetch = "browser": its pages rendered
// by the program's browser, with the engine's cookie file (shared with its HTTP client; empty:
// none kept) as the browser's cookie store for it. Programs without a browser have none.
using BrowserSources =
    std::function<PageSource(const EngineProfile& profile, const std::string& cookie_file)>;

// `connect_to` and `ca_file` as PageFetcher takes them (tests); `cookie_folder` and `proxy` (a
// pool member's proxy URL; empty: the machine's own address) as above. A profile that fetches
// with the browser gets `browser`'s source; without one, every page fails saying so.
PageSource engine_page_source(const EngineProfile& profile, std::string_view engine_key,
                              const std::string& cookie_folder, const std::string& connect_to = {},
                              const std::string& ca_file = {}, const std::string& proxy = {},
                              const BrowserSources& browser = {});

// Makes the page source of one member of `engine`'s pool for a run: the member that asks
// through `proxy`, or the machine's own address when it is empty.
using WorkerSources = std::function<PageSource(const Engine& engine, const std::string& proxy)>;

// Each engine's live sources (the engine's key and the member name its cookie files), the
// browser's for engines that fetch with it.
WorkerSources live_engine_sources(std::string cookie_folder, BrowserSources browser = {});

// The members of `engine`'s pool as a worker runs them: its proxies in order, then the
// machine's own address when the pool says so, each with the source `sources` makes for it.
// A proxy's name is scheme://host:port; the machine's own is "本机", or "" when it is the only
// member (its details then name no member, as a lone client's never did).
std::vector<PoolMember> pool_members(const Engine& engine, const WorkerSources& sources);

}  // namespace quillrank
