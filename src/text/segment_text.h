// SegmentText: a text seen as segments, each from a start marker to the first closing byte after
// it, where "replace every copy of this segment" costs in proportion to the pieces it touches,
// not to the whole text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

// How segments are recognised. `open` and `close` are ASCII and `close` does not occur in `open`.
struct SegmentRules {
  std::string open;          // what a segment starts with; empty: any character starts one
  char close = ']';          // the one-byte character that ends a segment
  bool ignore_case = false;  // ASCII letters match regardless of case, in `open` and in segments
};

// The site-entry, meta-tag and keyword-word loops repeat "take the first segment, replace every
// copy of it" once per item they list. Markers and segments count only at character starts (GBK
// stepping, as find_text does), so a closing byte that is the second byte of a two-byte
// character closes nothing.
//
// How: the text is kept as a list of units, each running up to and including a closing byte at
// a character start (the last unit may have none). A closing byte is one byte, so every unit
// begins at a character start and reads the same whatever comes before it. A segment ends at the
// first closing byte after its start, so every copy of a segment is the tail of exactly one unit;
// each unit's tails that begin with `open` are indexed by hash. Replacing a segment rewrites just
// the units that end with it, together with the units that follow until the text is again cut at
// a closing byte, and indexes the units that come out.
//
// Not thread-safe: one owner at a time.
class SegmentText {
 public:
  SegmentText(std::string_view text, SegmentRules rules);
  SegmentText(const SegmentText&) = delete;
  SegmentText& operator=(const SegmentText&) = delete;

  // The first segment of the text, spelled with `open` as the rules write it (the text may
  // differ in letter case); nullopt when the text has no segment start, or no closing byte after
  // its first one.
  std::optional<GbkText> first_segment();

  // Exactly text = replace_text(text, segment, replacement, !ignore_case), unless the text would
  // then be longer than `max_size` bytes: false, and the text stays as it is. A segment as
  // first_segment returns it takes the fast path; any other argument rebuilds the whole text.
  bool replace_all(std::string_view segment, std::string_view replacement,
                   std::size_t max_size = SIZE_MAX);

  GbkText text() const;
  std::size_t size() const { return size_; }

 private:
  // A unit's text is `dead` + `text`. `dead` is the start of the unit that no segment start can
  // ever reach (see add_units): it is moved along from unit to unit when the unit is rewritten,
  // so text that the loop only passes by is not copied each time.
  struct Unit {
    std::string dead;
    std::string text;
    std::vector<std::uint32_t> opens;  // offsets in `text` where `open` starts at a char start
    std::int32_t prev = -1, next = -1;
    std::uint32_t marked = 0;  // equals stamp_ while the unit ends with the segment in hand
    bool alive = true;
    bool closed = false;  // ends with a closing byte at a character start
  };
  struct Key {
    std::uint64_t hash, len;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const { return k.hash ^ (k.len * 0x9E3779B97F4A7C15ULL); }
  };

  void reset(std::string_view text);
  bool is_segment(std::string_view segment) const;
  bool opens_at(std::string_view text, std::size_t at) const;
  std::uint64_t hash_of(std::string_view text) const;
  bool same(std::string_view a, std::string_view b) const;
  // Cuts `text` into units (linked between `prev` and `next`), `lead` before the first of them,
  // and indexes them; returns the first of them, or -1 when nothing was added.
  std::int32_t add_units(std::string_view text, std::int32_t prev, std::int32_t next,
                         std::string lead = {});
  void rewrite_from(std::int32_t first, std::size_t segment_size, std::string_view replacement);
  // Calls `on_key` with the index key of each of the unit's tails that begin with `open`.
  template <typename OnKey>
  void for_each_key(const Unit& unit, OnKey on_key) const;
  // Takes a unit that was read into a rewrite out of the index and frees what it held.
  void release(std::int32_t u);

  SegmentRules rules_;
  std::vector<Unit> units_;
  std::int32_t head_ = -1;
  std::int32_t first_open_ = -1;  // no unit before it holds a segment start
  std::unordered_map<Key, std::vector<std::int32_t>, KeyHash> index_;
  std::uint32_t stamp_ = 0;
  std::size_t size_ = 0;  // of text()
};

}  // namespace quillrank
