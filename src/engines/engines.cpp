#include "engines/engines.h"

namespace quillrank {

std::string_view column_caption(int column) {
  if (column == 0) return "网站域名";
  if (column == 1) return "关键词";
  for (const EngineSlot& engine : kEngines) {
    if (engine.column == column) return engine.profile->name;
  }
  return {};
}

}  // namespace quillrank
