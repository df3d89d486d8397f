// The four engine slots, the one table that the run control, the window, the batch command and
// the tests read: each slot fills one result column, has one check box in the window and one
// profile (built in, or as the settings file changed it).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "engines/builtin_profiles.h"
#include "engines/engine_profile.h"

namespace quillrank {

inline constexpr std::size_t kEngineCount = 4;

// Which engines a run asks, by slot.
using EngineTicks = std::array<bool, kEngineCount>;

// One profile per slot, in slot order.
using EngineProfiles = std::array<EngineProfile, kEngineCount>;

struct EngineSlot {
  std::string_view key;        // in the settings file and the batch's -e: "baidu"
  int column;                  // its column in the ResultTable
  std::string_view check_box;  // the window's check box, by object name
};

// In the order the run control handles them: Baidu, Google, Sogou, Soso.
inline constexpr std::array<EngineSlot, kEngineCount> kEngines{{
    {"baidu", 2, "选中百度"},
    {"google", 3, "选中GG"},
    {"sogou", 4, "选中搜狗"},
    {"soso", 5, "选中搜搜"},
}};

// The built-in profile sets: "current" for today's pages (the default), "classic" for the old
// ones, as the old client asked for them.
enum class ProfileSet { current, classic };
inline constexpr ProfileSet kDefaultProfileSet = ProfileSet::current;

// A set's four profiles, by slot.
const EngineProfiles& builtin_profiles(ProfileSet set);

// "current" or "classic", and back (nullopt for any other name).
std::string_view profile_set_name(ProfileSet set);
std::optional<ProfileSet> profile_set_named(std::string_view name);

// The caption of a result column: "网站域名", "关键词", then each engine's profile name.
std::string_view column_caption(
    int column, const EngineProfiles& profiles = builtin_profiles(kDefaultProfileSet));

}  // namespace quillrank
