// SegmentText: a text seen as segments, each from a start marker to the first closing byte after
// it, where "replace every copy of this segment" costs in proportion to the copies, not the text.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

// How segments are recognised. `open` and `close` are ASCII, `close` does not occur in `open`,
// and the first byte of `open` occurs in it only once, so that two segment starts never overlap.
struct SegmentRules {
  std::string open;          // what a segment starts with; empty: any character starts one
  char close = ']';          // the one-byte character that ends a segment
  bool ignore_case = false;  // ASCII letters match regardless of case, in `open` and in segments
};

// The site-entry, meta-tag and keyword-word loops each repeat that step once per item they list.
// Markers and segments are found only at character starts (GBK stepping, as find_text does), so
// a closing byte that is the second byte of a two-byte character closes nothing.
//
// Why it is fast: a segment holds exactly one character-start closing byte, its last, so every
// copy of it is the tail of the stretch that some closing byte ends, starting at a segment start.
// Each segment start keeps a rolling hash of the text from it to its closing byte, and the last
// start of every stretch (every start, when any character starts one) is indexed by that hash;
// replacing a segment visits only the starts under the hash of its own last start, and updates
// only the hashes of starts whose stretch it shortens or joins with the next one.
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

  // Exactly text = replace_text(text, segment, replacement, !ignore_case). Segments as
  // first_segment returns them take the fast path; any other argument is replaced step by step.
  void replace_all(std::string_view segment, std::string_view replacement);

  GbkText text() const;

 private:
  struct Piece {  // a run of live bytes; byte k has the address addr + k
    const char* data;
    std::uint64_t addr, len;
    std::int32_t prev, next;
  };
  struct Open {  // a segment start; its key is the hash of the text from it to its unit's close
    std::uint64_t addr, hash, len;
    std::int32_t unit, prev, next;  // prev/next: the unit's starts in text order
    std::uint32_t version;
    bool alive;
    bool listed;  // the index holds an entry of its current version
  };
  struct Unit {  // the text after one closing byte up to and including the next one
    std::uint64_t close, hash, len;
    std::int32_t first, last, prev, next;
    std::uint64_t cut_stamp;
    std::int32_t cut_open;
    bool closed;  // false for the text after the last closing byte
  };
  struct Key {
    std::uint64_t hash, len;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const { return k.hash ^ (k.len * 0x9E3779B97F4A7C15ULL); }
  };
  struct Entry {
    std::int32_t open;
    std::uint32_t version;
  };
  struct Cursor {
    std::int32_t piece;
    std::uint64_t offset;
  };
  struct Layout {  // offsets of closing bytes and segment starts, both at character starts
    std::vector<std::uint64_t> closes, opens;
  };
  struct Stretch {  // a unit of a replacement text, with its starts as (offset, hash to its end)
    std::uint64_t close = 0, hash = 0, len = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> opens;
  };
  struct Shape {  // a replacement cut into its closed units and the rest after its last close
    std::string_view text;
    std::uint64_t hash = 0;
    std::vector<Stretch> stretches;
    Stretch rest;
  };
  struct Junction {
    std::int32_t left, right;  // the live pieces on either side of an emptied stretch
  };

  void reset(std::string_view text);
  bool fast_path(std::string_view segment, std::string_view replacement) const;
  Layout layout(std::string_view text, std::vector<bool>* char_starts) const;
  template <typename OnOpen>
  std::uint64_t hash_back(std::string_view text, std::uint64_t begin, std::uint64_t end,
                          const std::vector<std::uint64_t>& opens, std::ptrdiff_t& next_open,
                          OnOpen on_open) const;
  Shape shape_of(std::string_view text) const;
  std::uint64_t value(char c) const;
  std::uint64_t power(std::uint64_t k);

  std::int32_t add_open(std::uint64_t addr, std::uint64_t hash, std::uint64_t len,
                        std::int32_t unit);
  bool index_all() const { return rules_.open.empty(); }
  void index(std::int32_t open);
  void index_last(std::int32_t unit);
  std::uint64_t hash_of(std::string_view text) const;
  void detach_from(std::int32_t unit, std::int32_t open);
  void rekey(std::int32_t first, std::int32_t unit, std::uint64_t old_hash, std::uint64_t old_len,
             std::uint64_t new_hash, std::uint64_t new_len);
  void prepend(std::int32_t unit, std::int32_t first, std::int32_t last);
  void append(std::int32_t& first, std::int32_t& last, std::int32_t open);
  void unlink(std::int32_t unit);
  std::int32_t add_unit_after(std::int32_t after, std::uint64_t close, std::uint64_t hash,
                              std::uint64_t len);
  void cut_unit(std::int32_t unit, std::uint64_t seg_len, std::uint64_t seg_hash,
                const Shape& shape);
  std::optional<std::pair<std::uint64_t, std::uint64_t>> junction_open(Junction j,
                                                                       std::uint64_t limit,
                                                                       std::uint64_t& k);

  Cursor locate(std::uint64_t addr) const;
  bool step(Cursor& c) const;
  char byte(Cursor c) const { return pieces_[c.piece].data[c.offset]; }
  bool matches(std::int32_t open, std::string_view segment) const;
  GbkText segment_of(std::int32_t open) const;
  Junction rope_replace(std::uint64_t from, std::uint64_t to, std::string_view with,
                        std::uint64_t base);

  SegmentRules rules_;
  std::deque<std::string> chunks_;  // the original text and every replacement; never moves
  std::vector<Piece> pieces_;
  std::int32_t head_piece_ = -1;
  std::map<std::uint64_t, std::int32_t> piece_at_;  // live pieces by their first address
  std::uint64_t next_addr_ = 0;                     // first address not yet given out
  std::vector<bool> char_start_;  // of the original text; only for markers of 2+ bytes
  std::vector<Open> opens_;
  std::vector<Unit> units_;
  std::int32_t scan_from_ = -1;  // no unit before it holds a segment start, or ever will
  std::unordered_map<Key, std::vector<Entry>, KeyHash> index_;
  std::vector<std::uint64_t> powers_{1};
  std::uint64_t stamp_ = 0;
};

}  // namespace quillrank
