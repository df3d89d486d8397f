// The engines a run can ask: an open list, in column order. The chosen built-in set's engines
// come first (Baidu, Google, Sogou, Soso, then the extra ones of the current set), then the ones
// the settings file defines. Engine i fills result column kFirstEngineColumn + i.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_profile.h"
#include "engines/engine_worker.h"

namespace quillrank {

// Where an engine's requests go out: each member of the pool is a client of its own (its own
// connections, cookie store, pacing clock and block state), and the engine's rows go to
// whichever member is free.
struct ProxyPool {
  // Proxy URLs: http://, https://, socks5:// or socks5h://, with user:password@ where needed.
  std::vector<std::string> proxies;
  bool direct = true;  // the machine's own address (or the system proxy) is a member too
  int failures = 3;    // failed connections in a row after which a member leaves the run

  bool operator==(const ProxyPool&) const = default;
};

struct Engine {
  std::string key;  // the settings table, -e, the history, cookie and saved-page names: "baidu"
  EngineProfile profile;
  EnginePacing pacing;
  bool ticked = false;  // asked unless the user says otherwise
  ProxyPool pool = {};  // the machine's own address alone unless the settings give proxies

  bool operator==(const Engine&) const = default;
};
using Engines = std::vector<Engine>;

// Which engines a run asks, by engine index.
using EngineTicks = std::vector<bool>;

inline constexpr int kFirstEngineColumn = 2;  // after the site and the keyword
inline constexpr int engine_column(std::size_t engine) {
  return kFirstEngineColumn + static_cast<int>(engine);
}

// The built-in profile sets: "current" for today's pages (the default), "classic" for the old
// ones, as the old client asked for them.
enum class ProfileSet { current, classic };
inline constexpr ProfileSet kDefaultProfileSet = ProfileSet::current;

// A set's engines with their default pacing, Baidu and Google ticked: the classic set's four
// unpaced; the current set's paced as slowly as today's engines need before they ask for a
// verification (Baidu 10-15 s between requests, the others 5-10 s, each a 5-minute pause after
// a block and one more try; Google refuses anyway), and its extra engines after the four.
const Engines& builtin_engines(ProfileSet set);

// "current" or "classic", and back (nullopt for any other name).
std::string_view profile_set_name(ProfileSet set);
std::optional<ProfileSet> profile_set_named(std::string_view name);

// The index of the engine called `key`; nullopt when there is none.
std::optional<std::size_t> engine_index(const Engines& engines, std::string_view key);
// The ticks the engines carry.
EngineTicks default_ticks(const Engines& engines);
// "baidu, google, ..." for messages that list what may be asked.
std::string engine_keys(const Engines& engines);

// A key a new engine may have: 1 to 32 of a-z, 0-9 and "_", starting with a letter (it names
// files and settings tables).
bool valid_engine_key(std::string_view key);

// The caption of a result column: "网站域名", "关键词", then each engine's profile name.
std::string_view column_caption(int column, const Engines& engines);

}  // namespace quillrank
