// Profiles of more of today's engines (Baidu's phone pages, 360 search, Bing China), in the
// shape of the current set: asked as a current browser asks, read as the engines' result pages
// show them. Each comes with the key the settings file and the batch command know it by.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engines/engine_profile.h"

namespace quillrank {

// (key, profile) for each engine, in the order their columns follow the built-in four.
std::vector<std::pair<std::string, EngineProfile>> extra_current_profiles();

}  // namespace quillrank
