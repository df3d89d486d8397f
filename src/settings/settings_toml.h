// Settings written back as a commented quillrank.toml, every key of every engine spelled out:
// what `quillrank-batch --print-config` prints, to be saved and edited.
#pragma once

#include <string>

#include "settings/settings.h"

namespace quillrank {

// Reads back (parse_settings) as `settings`.
std::string settings_as_toml(const Settings& settings);

}  // namespace quillrank
