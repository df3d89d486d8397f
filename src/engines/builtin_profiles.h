// The four built-in engine profiles: the defaults that the settings file changes field by field.
#pragma once

#include <array>

#include "engines/engine_profile.h"

namespace quillrank {

extern const EngineProfile kBaidu;
extern const EngineProfile kGoogle;
extern const EngineProfile kSogou;
extern const EngineProfile kSoso;

}  // namespace quillrank
