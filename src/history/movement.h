// How a site's rank moved for one keyword on one engine, as plain values: the window's ↑n/↓n/新/落
// marks, its tooltips and quillrank-history's change column all come from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engines/run_results.h"

namespace quillrank {

struct Movement {
  enum class Kind {
    none,      // not ranked now, or the same rank as before
    up,        // a better (smaller) rank than before, by `places`
    down,      // a worse rank than before, by `places`
    new_rank,  // ranked now, not ranked (or not asked) before
    lost,      // ranked before, and now the site is not among the results read
  };
  Kind kind = Kind::none;
  int places = 0;
  friend bool operator==(const Movement&, const Movement&) = default;
};

// The move from `previous` to `current` (both nullopt when not ranked).
Movement movement(std::optional<int> current, std::optional<int> previous);

// The move of a row's result from `previous`: movement() of its rank, and `lost` when it reads
// "排在300后" after a rank. A result that holds no answer (blocked, failed) is no move.
Movement result_movement(const RowResult& result, std::optional<int> previous);

// "↑3", "↓12", "新", "落" (fell out of the results), or "" for none (UTF-8), as the window
// draws it.
std::string movement_mark(const Movement& move);

// The change for text output: "up 3" (three places better), "down 12", "new", "lost", "" for
// none;
// words rather than signed numbers, which a spreadsheet would read as formulas.
std::string movement_change(const Movement& move);

// A record's time (milliseconds since 1970) as "YYYY-MM-DD HH:MM" in local time.
std::string format_time(std::int64_t ms);

}  // namespace quillrank
