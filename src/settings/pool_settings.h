// The proxy pool keys of the settings file (proxies, proxy_file, direct, proxy_failures): read
// at the top level for every engine and in each [engine.<key>] table over it, and written back
// by --print-config with the passwords hidden.
#pragma once

#include <toml++/toml.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/engines.h"

namespace quillrank {

inline constexpr int kMaxProxyFailures = 100;

// "path:line: what": a problem where it stands in the settings file.
std::string located(const std::string& path, const toml::source_region& where,
                    const std::string& what);

// `name` as the settings file at `settings_path` means it: a relative name is taken from the
// file's folder, so every program that reads the file finds the same file wherever it started.
std::string beside_settings(const std::string& settings_path, const std::string& name);

bool is_pool_key(std::string_view key);

// Sets each engine's pool: an engine table's `proxies` and `proxy_file` (their entries
// together, the list's first) replace the top level's; `direct` and `proxy_failures` likewise.
// `direct` is true unless set when the pool has no proxy, false when it has. `tables` are the
// [engine.<key>] tables by key. Nullopt, or the problem as "file:line: what": in the settings
// file ("q.toml:3: proxies: entry 2: 'http://h:0': port must be 1 to 65535") or in a proxy
// file ("list.txt:5: ...").
std::optional<std::string> apply_pools(
    const toml::table& root, const std::vector<std::pair<std::string, const toml::node*>>& tables,
    const std::string& path, Engines& engines);

// The pool's keys as --print-config writes them, passwords as "****" with a comment saying so.
void write_pool(std::ostream& out, const ProxyPool& pool);

}  // namespace quillrank
