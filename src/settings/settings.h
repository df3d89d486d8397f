// The settings file, quillrank.toml: how each engine's requests are paced, and each engine's
// profile. Read the same way by the window and the batch command; nothing else parses it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "engines/engine_worker.h"
#include "engines/engines.h"

namespace quillrank {

struct Settings {
  ProfileSet profile_set = kDefaultProfileSet;            // the built-in engines the tables change
  Engines engines = builtin_engines(kDefaultProfileSet);  // each with its profile and pacing
  bool history = true;                                    // record every run in the rank history
  std::string history_path;        // the history database; empty: the default place
  std::string history_url;         // a PostgreSQL database for the history instead; empty: none
  bool history_read_only = false;  // the window shows the history and records nothing
  std::string on_run_end;          // a /bin/sh command told of each finished run; empty: none
};

// A history location as it may be shown: in a database URL, the password of its user part and
// the value of a password parameter read "****"; a file path as it is.
std::string shown_location(std::string_view location);

// Where the history is kept: history_url when set, else history_path.
inline const std::string& history_location(const Settings& settings) {
  return settings.history_url.empty() ? settings.history_path : settings.history_url;
}

// Keys, each at the top level (every engine) or in a table [engine.<key>] (that engine alone,
// over the top level; a table whose key names no built-in engine and that sets `host` defines a
// new engine, whose column follows the built-in ones in the file's order):
//   delay       seconds between two requests: a number, or "MIN-MAX" for a random pause
//   retries     further tries of a failed fetch, 0 to 10
//   block_pause seconds to wait after a block before asking once more; 0: stop the engine
//   proxies     the engine's proxy pool: an array of proxy URLs (see parse_proxy_address)
//   proxy_file  a file of more proxy URLs, one a line (relative to this file's folder); an
//               engine's proxies and proxy_file together replace the top level's
//   direct      true or false: the machine's own address asks too (default: true without
//               proxies, false with them); no proxies and direct = false is an error
//   proxy_failures failed connections in a row after which a member leaves the run, 1 to 100
// in an engine's table only, any field of its profile (see profile_fields.h); a field not set
// keeps the value of the chosen built-in set; and, at the top level only:
//   profiles     "current" (the default) or "classic": the built-in set the tables change
//   cookies      true or false: every engine's cookies kept between runs (an engine's table may
//                say otherwise)
//   history      true or false: whether runs are recorded in the rank history
//   history_path the rank history's database file
//   history_url  "postgresql://user@host/db": the rank history in that PostgreSQL database
//                instead, shared by several machines (the password from the URL, PGPASSWORD or
//                ~/.pgpass)
//   history_read_only true or false: the window shows the history and records nothing
//   on_run_end   a command run through /bin/sh -c when a run ends, the run's summary (JSON) on
//                its standard input
// The settings, or "path:line: what is wrong" (an unknown key, a wrong type, a value out of
// range, a file that is not TOML).
// `profiles`, when set, chooses the built-in profile set over the file's "profiles" key.
std::variant<Settings, std::string> parse_settings(std::string_view text, const std::string& path,
                                                   std::optional<ProfileSet> profiles = {});

// The file at `path` parsed; a missing file gives the defaults, one that cannot be read an error.
std::variant<Settings, std::string> read_settings_file(const std::string& path,
                                                       std::optional<ProfileSet> profiles = {});

// $XDG_CONFIG_HOME/quillrank/quillrank.toml, else ~/.config/quillrank/quillrank.toml; empty when
// neither variable is set.
std::string default_settings_path();

// "3" or "2-5" (fractions allowed) as {min, max} seconds; nullopt when malformed, negative,
// over an hour or with min > max.
std::optional<std::pair<double, double>> parse_delay(std::string_view text);

}  // namespace quillrank
