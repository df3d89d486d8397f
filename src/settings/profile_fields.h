// The fields of an engine profile that the settings file may set, as one table: each field's
// key, what it is for, how a TOML value is read into a profile and how it is written back.
// The settings parser and --print-config both walk it, so they never disagree on a field.
#pragma once

#include <toml++/toml.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_profile.h"

namespace quillrank {

struct ProfileField {
  std::string_view key;   // in an [engine.<name>] table
  std::string_view help;  // one line, written above the key by --print-config
  // Reads `value` into `profile`: nullopt when it was taken, else what is wrong, starting with
  // the key ("page_count must be 1 to 100").
  std::function<std::optional<std::string>(const toml::node& value, EngineProfile& profile)> read;
  // The profile's value as TOML text (the right-hand side of "key = ...").
  std::function<std::string(const EngineProfile& profile)> write;
};

// `text` as a TOML string, quoted and escaped as needed.
std::string toml_text(std::string_view text);

// Every settable field, in the order --print-config writes them.
const std::vector<ProfileField>& profile_fields();

}  // namespace quillrank
