// The four engine slots, the one table that the run control, the window, the batch command and
// the tests read: each slot fills one result column and has one check box in the window.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "engines/engine_profile.h"

namespace quillrank {

inline constexpr std::size_t kEngineCount = 4;

// Which engines a run asks, by slot.
using EngineTicks = std::array<bool, kEngineCount>;

struct EngineSlot {
  std::string_view key;          // in the settings file and the batch's -e: "baidu"
  int column;                    // its column in the ResultTable
  std::string_view check_box;    // the window's check box, by object name
  const EngineProfile* profile;  // the built-in profile; its name captions column and check box
};

// In the order the run control handles them: Baidu, Google, Sogou, Soso.
inline constexpr std::array<EngineSlot, kEngineCount> kEngines{{
    {"baidu", 2, "选中百度", &kBaidu},
    {"google", 3, "选中GG", &kGoogle},
    {"sogou", 4, "选中搜狗", &kSogou},
    {"soso", 5, "选中搜搜", &kSoso},
}};

// The caption of a result column: "网站域名", "关键词", then each engine's name.
std::string_view column_caption(int column);

}  // namespace quillrank
