#include "settings/settings.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "settings/pool_settings.h"
#include "settings/profile_fields.h"

namespace quillrank {
namespace {

constexpr double kMaxSeconds = 3600;
constexpr int kMaxRetries = 10;

struct Problem {
  toml::source_region where;
  std::string what;
};

// A settings file is a page of keys, never this large or this deep; the TOML reader walks
// dotted keys recursively, so a chain of thousands of them would overflow the stack.
constexpr std::size_t kMaxSettingsBytes = 1 << 20;
constexpr int kMaxDottedKeyParts = 64;
constexpr int kMaxBrackets = 32;  // arrays and inline tables open inside each other

bool is_bare_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '+';
}

// The 1-based line where, outside strings and comments, a chain of more than kMaxDottedKeyParts
// pieces joined by dots (bare words or strings, blanks allowed around the dots) or more than
// kMaxBrackets open brackets and braces first stand; 0 when there is none.
int line_too_deep(std::string_view text) {
  int line = 1, parts = 0, brackets = 0;
  bool after_dot = false;  // the chain goes on with the next piece
  for (std::size_t pos = 0; pos < text.size();) {
    const char c = text[pos];
    if (c == '\n') ++line;
    if (c == ' ' || c == '\t') {
      ++pos;
      continue;
    }
    if (c == '.' && parts > 0 && !after_dot) {
      after_dot = true;
      ++pos;
      continue;
    }
    const bool piece_starts = is_bare_key_char(c) || c == '"' || c == '\'';
    if (!piece_starts || (!after_dot && parts > 0)) parts = 0;
    after_dot = false;
    if (c == '#') {
      pos = std::min(text.find('\n', pos), text.size());
      continue;
    }
    if (!piece_starts) {
      if (c == '[' || c == '{') ++brackets;
      if (c == ']' || c == '}') brackets = std::max(0, brackets - 1);
      if (brackets > kMaxBrackets) return line;
      ++pos;
      continue;
    }
    if (++parts > kMaxDottedKeyParts) return line;
    if (is_bare_key_char(c)) {
      while (pos < text.size() && is_bare_key_char(text[pos])) ++pos;
      continue;
    }
    // A string: '...' or "..." (with escapes), or their three-quote multi-line forms.
    const std::string_view quote =
        text.substr(pos, 3) == std::string(3, c) ? text.substr(pos, 3) : text.substr(pos, 1);
    for (pos += quote.size(); pos < text.size() && text.substr(pos, quote.size()) != quote;) {
      const std::size_t step = c == '"' && text[pos] == '\\' ? 2 : 1;
      line += static_cast<int>(std::count(
          text.begin() + static_cast<std::ptrdiff_t>(pos),
          text.begin() + static_cast<std::ptrdiff_t>(std::min(pos + step, text.size())), '\n'));
      pos += step;
    }
    pos += quote.size();
  }
  return 0;
}

std::optional<double> seconds(const toml::node& node) {
  if (const auto number = node.value<double>(); number && std::isfinite(*number)) return *number;
  return std::nullopt;
}

// Applies one key of a table to `pacing`; a problem when the key or its value is wrong.
std::optional<Problem> apply(std::string_view key, const toml::node& value, EnginePacing& pacing) {
  if (key == "delay") {
    std::optional<std::pair<double, double>> range;
    if (const auto text = value.value<std::string>()) {
      range = parse_delay(*text);
    } else if (const auto number = seconds(value)) {
      if (*number >= 0 && *number <= kMaxSeconds) range = std::pair{*number, *number};
    } else {
      return Problem{value.source(), "delay must be a number or a \"MIN-MAX\" text"};
    }
    if (!range) return Problem{value.source(), "delay must be 0 to 3600 seconds, MIN <= MAX"};
    pacing.delay_min = range->first;
    pacing.delay_max = range->second;
  } else if (key == "retries") {
    const auto number = value.value_exact<std::int64_t>();
    if (!number) return Problem{value.source(), "retries must be a whole number"};
    if (*number < 0 || *number > kMaxRetries) {
      return Problem{value.source(), "retries must be 0 to 10"};
    }
    pacing.retries = static_cast<int>(*number);
  } else if (key == "block_pause") {
    const auto number = seconds(value);
    if (!number) return Problem{value.source(), "block_pause must be a number of seconds"};
    if (*number < 0 || *number > kMaxSeconds) {
      return Problem{value.source(), "block_pause must be 0 to 3600 seconds"};
    }
    pacing.block_pause = *number;
  } else {
    return Problem{value.source(), "unknown key '" + std::string(key) + "'"};
  }
  return std::nullopt;
}

const ProfileField* profile_field(std::string_view key) {
  for (const ProfileField& field : profile_fields()) {
    if (field.key == key) return &field;
  }
  return nullptr;
}

// The top level: pacing keys for every engine; the engine tables and the history keys are read
// apart.
std::optional<Problem> apply_top_level(const toml::table& table, EnginePacing& pacing) {
  for (const auto& [key, value] : table) {
    if (key.str() == "engine" || key.str() == "history" || key.str() == "history_path" ||
        key.str() == "history_url" || key.str() == "history_read_only" ||
        key.str() == "on_run_end" || key.str() == "profiles" || key.str() == "cookies" ||
        is_pool_key(key.str())) {
      continue;
    }
    if (profile_field(key.str())) {
      return Problem{value.source(),
                     std::string(key.str()) + " belongs in an engine's table, e.g. [engine.baidu]"};
    }
    if (auto problem = apply(key.str(), value, pacing)) return problem;
  }
  return std::nullopt;
}

// One [engine.<name>] table: pacing keys and profile fields of that engine. The extend_ lists
// come last, so they add to a list the same table replaces, wherever they stand.
std::optional<Problem> apply_engine_table(const toml::table& table, EnginePacing& pacing,
                                          EngineProfile& profile) {
  std::vector<std::pair<std::string_view, const toml::node*>> keys;
  for (const auto& [key, value] : table) keys.emplace_back(key.str(), &value);
  std::stable_partition(keys.begin(), keys.end(),
                        [](const auto& key) { return !key.first.starts_with("extend_"); });
  for (const auto& [key, node] : keys) {
    const toml::node& value = *node;
    if (is_pool_key(key)) continue;  // read by apply_pools
    if (const ProfileField* field = profile_field(key)) {
      if (auto what = field->read(value, profile)) return Problem{value.source(), *what};
    } else if (auto problem = apply(key, value, pacing)) {
      return problem;
    }
  }
  return std::nullopt;
}

// The top level's history keys. A relative history_path is taken from the settings file's folder,
// so every program that reads the file finds the same database wherever it was started.
std::optional<Problem> apply_history(const toml::table& root, const std::string& settings_path,
                                     Settings& settings) {
  if (const toml::node* on = root.get("history")) {
    const auto value = on->value_exact<bool>();
    if (!value) return Problem{on->source(), "history must be true or false"};
    settings.history = *value;
  }
  if (const toml::node* path = root.get("history_path")) {
    const auto value = path->value_exact<std::string>();
    if (!value || value->empty()) {
      return Problem{path->source(), "history_path must be a file name text"};
    }
    settings.history_path = beside_settings(settings_path, *value);
  }
  if (const toml::node* url = root.get("history_url")) {
    const auto value = url->value_exact<std::string>();
    if (!value || !(value->starts_with("postgresql://") || value->starts_with("postgres://"))) {
      return Problem{url->source(), "history_url must be a postgresql:// URL text"};
    }
    settings.history_url = *value;
  }
  if (const toml::node* read_only = root.get("history_read_only")) {
    const auto value = read_only->value_exact<bool>();
    if (!value) return Problem{read_only->source(), "history_read_only must be true or false"};
    settings.history_read_only = *value;
  }
  if (const toml::node* command = root.get("on_run_end")) {
    const auto value = command->value_exact<std::string>();
    if (!value) return Problem{command->source(), "on_run_end must be a command text"};
    settings.on_run_end = *value;
  }
  return std::nullopt;
}

// The top level's choice of built-in engines: what the engine tables change.
std::optional<Problem> apply_profile_set(const toml::table& root, std::optional<ProfileSet> over,
                                         Settings& settings) {
  if (const toml::node* set = root.get("profiles")) {
    const auto name = set->value_exact<std::string>();
    const std::optional<ProfileSet> chosen = name ? profile_set_named(*name) : std::nullopt;
    if (!chosen) return Problem{set->source(), "profiles must be \"current\" or \"classic\""};
    settings.profile_set = *chosen;
  }
  if (over) settings.profile_set = *over;
  settings.engines = builtin_engines(settings.profile_set);
  return std::nullopt;
}

// The [engine.<key>] tables in the file's order (TOML tables are kept sorted by key).
std::vector<std::pair<std::string, const toml::node*>> engine_tables(const toml::table& tables) {
  std::vector<std::pair<std::string, const toml::node*>> ordered;
  for (const auto& [key, value] : tables) ordered.emplace_back(std::string(key.str()), &value);
  std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
    const toml::source_position& x = a.second->source().begin;
    const toml::source_position& y = b.second->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  return ordered;
}

// Adds an engine for each table whose key names none and that sets a host; any other unknown
// key is a problem. A new engine starts from a profile of classic defaults named by its key,
// paced as the set paces its engines, and unticked.
std::optional<Problem> add_new_engines(
    const std::vector<std::pair<std::string, const toml::node*>>& tables, Settings& settings) {
  const EnginePacing pacing =
      settings.profile_set == ProfileSet::classic
          ? EnginePacing{}
          : EnginePacing{.delay_min = 5, .delay_max = 10, .block_pause = 300};
  const std::string known = engine_keys(settings.engines);
  for (const auto& [key, node] : tables) {
    if (engine_index(settings.engines, key)) continue;
    const toml::table* table = node->as_table();
    if (!table || !table->contains("host")) {
      return Problem{node->source(), "unknown engine '" + key + "' (use " + known +
                                         ", or set host to define a new engine)"};
    }
    if (!valid_engine_key(key)) {
      return Problem{
          node->source(),
          "engine key '" + key + "' must be 1 to 32 of a-z, 0-9 and _, starting with a letter"};
    }
    settings.engines.push_back({key, EngineProfile{.name = key}, pacing, false});
  }
  return std::nullopt;
}

// The top level's cookies key, over every engine (an engine's table may say otherwise).
std::optional<Problem> apply_cookies(const toml::table& root, Settings& settings) {
  if (const toml::node* cookies = root.get("cookies")) {
    const ProfileField* field = profile_field("cookies");
    for (Engine& engine : settings.engines) {
      if (auto what = field->read(*cookies, engine.profile))
        return Problem{cookies->source(), *what};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::pair<double, double>> parse_delay(std::string_view text) {
  auto number = [](std::string_view part) -> std::optional<double> {
    double value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || error != std::errc() || end != part.data() + part.size()) {
      return std::nullopt;
    }
    return value;
  };
  const std::size_t dash = text.find('-');
  const auto low = number(text.substr(0, dash));
  const auto high = dash == std::string_view::npos ? low : number(text.substr(dash + 1));
  if (!low || !high || !std::isfinite(*low) || !std::isfinite(*high) || *low < 0 ||
      *high > kMaxSeconds || *low > *high) {
    return std::nullopt;
  }
  return std::pair{*low, *high};
}

std::variant<Settings, std::string> parse_settings(std::string_view text, const std::string& path,
                                                   std::optional<ProfileSet> profiles) {
  if (text.size() > kMaxSettingsBytes) {
    return path + ":0: larger than " + std::to_string(kMaxSettingsBytes >> 20) +
           " MiB; no settings file is that long";
  }
  if (const int line = line_too_deep(text)) {
    return path + ":" + std::to_string(line) + ": nested too deep (at most " +
           std::to_string(kMaxDottedKeyParts) + " dotted key parts and " +
           std::to_string(kMaxBrackets) + " brackets inside each other)";
  }
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    return located(path, error.source(), std::string(error.description()));
  }
  Settings settings;
  if (auto problem = apply_profile_set(root, profiles, settings)) {
    return located(path, problem->where, problem->what);
  }
  std::vector<std::pair<std::string, const toml::node*>> tables;
  if (const toml::node* engines = root.get("engine")) {
    const toml::table* all = engines->as_table();
    if (!all) return located(path, engines->source(), "engine must be a table of engines");
    tables = engine_tables(*all);
  }
  if (auto problem = add_new_engines(tables, settings)) {
    return located(path, problem->where, problem->what);
  }
  if (auto problem = apply_cookies(root, settings)) {
    return located(path, problem->where, problem->what);
  }
  for (Engine& engine : settings.engines) {
    if (auto problem = apply_top_level(root, engine.pacing)) {
      return located(path, problem->where, problem->what);
    }
  }
  if (auto problem = apply_history(root, path, settings)) {
    return located(path, problem->where, problem->what);
  }
  for (const auto& [key, node] : tables) {
    const toml::table* table = node->as_table();
    if (!table) return located(path, node->source(), "engine." + key + " must be a table");
    Engine& engine = settings.engines[*engine_index(settings.engines, key)];
    if (auto problem = apply_engine_table(*table, engine.pacing, engine.profile)) {
      return located(path, problem->where, problem->what);
    }
    // A new engine starts with no marker for its result links: without one it could rank
    // nothing, or anything.
    if (engine.profile.link_prefix.empty()) {
      return located(path, node->source(),
                     "engine." + key + " defines a new engine: set its link_prefix too");
    }
  }
  if (auto problem = apply_pools(root, tables, path, settings.engines)) return *problem;
  return settings;
}

std::variant<Settings, std::string> read_settings_file(const std::string& path,
                                                       std::optional<ProfileSet> profiles) {
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) return parse_settings("", path, profiles);
  std::ifstream file(path, std::ios::binary);
  if (!file || std::filesystem::is_directory(path, error)) return path + ":0: cannot be read";
  // One byte past the cap is enough to refuse it: an endless file (/dev/zero) is never held.
  std::string text(kMaxSettingsBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) return path + ":0: cannot be read";
  text.resize(static_cast<std::size_t>(file.gcount()));
  return parse_settings(text, path, profiles);
}

std::string default_settings_path() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/quillrank/quillrank.toml";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config/quillrank/quillrank.toml";
  return {};
}

std::string shown_location(std::string_view location) {
  std::string shown(location);
  const std::size_t scheme = shown.find("://");
  if (scheme == std::string::npos) return shown;
  // The user part ends at the last '@' before the parameters: a password may hold a '/'.
  const std::size_t start = scheme + 3;
  const std::size_t end = std::min(shown.find('?', start), shown.size());
  const std::size_t at = shown.rfind('@', end - 1);
  if (at != std::string::npos && at >= start) {
    const std::size_t colon = shown.find(':', start);
    if (colon < at) shown.replace(colon + 1, at - colon - 1, "****");
  }
  // password=... among the parameters, up to the next '&'.
  const std::size_t query = shown.find('?', start);
  for (std::size_t key = query; key != std::string::npos && key < shown.size();
       key = shown.find('&', key + 1)) {
    if (shown.compare(key + 1, 9, "password=") != 0) continue;
    const std::size_t value = key + 10;
    const std::size_t value_end = std::min(shown.find('&', value), shown.size());
    shown.replace(value, value_end - value, "****");
  }
  return shown;
}

}  // namespace quillrank
