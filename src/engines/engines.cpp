#include "engines/engines.h"

namespace quillrank {

const EngineProfiles& builtin_profiles(ProfileSet set) {
  static const EngineProfiles classic{kBaidu, kGoogle, kSogou, kSoso};
  static const EngineProfiles current{kCurrentBaidu, kCurrentGoogle, kCurrentSogou, kCurrentSoso};
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

std::string_view column_caption(int column, const EngineProfiles& profiles) {
  if (column == 0) return "网站域名";
  if (column == 1) return "关键词";
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    if (kEngines[engine].column == column) return profiles[engine].name;
  }
  return {};
}

}  // namespace quillrank
