#include "engines/engines.h"

namespace quillrank {

const EngineProfiles& builtin_profiles() {
  static const EngineProfiles profiles{kBaidu, kGoogle, kSogou, kSoso};
  return profiles;
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
