#include "engines/engines.h"

#include "engines/builtin_profiles.h"
#include "engines/extra_profiles.h"

namespace quillrank {
namespace {

Engines classic_engines() {
  return {{"baidu", kBaidu, {}, true},
          {"google", kGoogle, {}, true},
          {"sogou", kSogou, {}, false},
          {"soso", kSoso, {}, false}};
}

Engines current_engines() {
  const EnginePacing slow{.delay_min = 10, .delay_max = 15, .block_pause = 300};
  const EnginePacing paced{.delay_min = 5, .delay_max = 10, .block_pause = 300};
  Engines engines{{"baidu", kCurrentBaidu, slow, true},
                  {"google", kCurrentGoogle, {}, true},
                  {"sogou", kCurrentSogou, paced, false},
                  {"soso", kCurrentSoso, paced, false}};
  for (auto& [key, profile] : extra_current_profiles()) {
    engines.push_back({key, std::move(profile), key == "baidu_mobile" ? slow : paced, false});
  }
  return engines;
}

}  // namespace

const Engines& builtin_engines(ProfileSet set) {
  static const Engines classic = classic_engines();
  static const Engines current = current_engines();
  return set == ProfileSet::classic ? classic : current;
}

std::string_view profile_set_name(ProfileSet set) {
  return set == ProfileSet::classic ? "classic" : "current";
}

std::optional<ProfileSet> profile_set_named(std::string_view name) {
  if (name == "current") return ProfileSet::current;
  if (name == "classic") return ProfileSet::classic;
  return std::nullopt;
}

std::optional<std::size_t> engine_index(const Engines& engines, std::string_view key) {
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    if (engines[engine].key == key) return engine;
  }
  return std::nullopt;
}

EngineTicks default_ticks(const Engines& engines) {
  EngineTicks ticks;
  for (const Engine& engine : engines) ticks.push_back(engine.ticked);
  return ticks;
}

std::string engine_keys(const Engines& engines) {
  std::string keys;
  for (const Engine& engine : engines) {
    if (!keys.empty()) keys += ", ";
    keys += engine.key;
  }
  return keys;
}

bool valid_engine_key(std::string_view key) {
  if (key.empty() || key.size() > 32 || key[0] < 'a' || key[0] > 'z') return false;
  for (const char c : key) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

std::string_view column_caption(int column, const Engines& engines) {
  if (column == 0) return "网站域名";
  if (column == 1) return "关键词";
  const int engine = column - kFirstEngineColumn;
  if (engine < 0 || static_cast<std::size_t>(engine) >= engines.size()) return {};
  return engines[static_cast<std::size_t>(engine)].profile.name;
}

}  // namespace quillrank
