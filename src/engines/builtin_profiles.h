// The built-in engine profiles, two sets of four: the defaults that the settings file changes
// field by field. kBaidu .. kSoso are the classic set (the old addresses and markers, the old
// client's request); kCurrentBaidu .. kCurrentSoso read today's pages as a browser asks for them.
#pragma once

#include <array>

#include "engines/engine_profile.h"

namespace quillrank {

extern const EngineProfile kBaidu;
extern const EngineProfile kGoogle;
extern const EngineProfile kSogou;
extern const EngineProfile kSoso;

extern const EngineProfile kCurrentBaidu;
extern const EngineProfile kCurrentGoogle;
extern const EngineProfile kCurrentSogou;
extern const EngineProfile kCurrentSoso;

}  // namespace quillrank
