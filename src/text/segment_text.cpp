#include "text/segment_text.h"

#include <algorithm>
#include <optional>

#include "text/char_scan.h"

namespace quillrank {
namespace {

// Polynomial hashing modulo the Mersenne prime 2^61 - 1. A tail's hash is built from its last
// byte backwards, so every tail of a unit costs one step more than the tail after it.
constexpr std::uint64_t kMod = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kBase = 0x1B873593A1C3E5F7ULL % kMod;

std::uint64_t mul_add(std::uint64_t h, std::uint64_t v) {
  const unsigned __int128 r = static_cast<unsigned __int128>(h) * kBase + v;
  std::uint64_t s = static_cast<std::uint64_t>(r & kMod) + static_cast<std::uint64_t>(r >> 61);
  s = (s & kMod) + (s >> 61);
  return s >= kMod ? s - kMod : s;
}

using scan::fold_ascii;
using scan::is_lead_byte;

}  // namespace

SegmentText::SegmentText(std::string_view text, SegmentRules rules) : rules_(std::move(rules)) {
  reset(text);
}

void SegmentText::reset(std::string_view text) {
  units_.clear();
  index_.clear();
  head_ = add_units(text, -1, -1);
  first_open_ = head_;
  size_ = text.size();
}

bool SegmentText::opens_at(std::string_view text, std::size_t at) const {
  const std::string_view open = rules_.open;
  if (text.size() - at < open.size()) return false;
  for (std::size_t k = 0; k < open.size(); ++k) {
    const char c = text[at + k];
    if (rules_.ignore_case ? fold_ascii(c) != fold_ascii(open[k]) : c != open[k]) return false;
  }
  return true;
}

std::uint64_t SegmentText::hash_of(std::string_view text) const {
  std::uint64_t h = 0;
  for (std::size_t i = text.size(); i-- > 0;) {
    h = mul_add(
        h, static_cast<unsigned char>(rules_.ignore_case ? fold_ascii(text[i]) : text[i]) + 1u);
  }
  return h;
}

bool SegmentText::same(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  if (!rules_.ignore_case) return a == b;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  }
  return true;
}

bool SegmentText::is_segment(std::string_view segment) const {
  if (segment.size() < 2 || segment.size() <= rules_.open.size() || !opens_at(segment, 0)) {
    return false;
  }
  std::size_t i = 0;
  for (; i + 1 < segment.size(); i += is_lead_byte(segment[i]) ? 2 : 1) {
    if (segment[i] == rules_.close) return false;
  }
  return i == segment.size() - 1 && segment.back() == rules_.close;
}

std::int32_t SegmentText::add_units(std::string_view text, std::int32_t prev, std::int32_t next,
                                    std::string lead) {
  std::int32_t first = -1, last = prev;
  auto link = [&](Unit unit) {
    const auto id = static_cast<std::int32_t>(units_.size());
    unit.prev = last;
    units_.push_back(std::move(unit));
    if (last != -1) units_[last].next = id;
    if (first == -1) first = id;
    last = id;
    return id;
  };
  // Only the tail of a unit from its first segment start on is ever rewritten, and the unit
  // reads the same whatever is joined after it. With a one-byte `open`, no segment can ever
  // start before the unit's first segment start, so the bytes before it are dead; a unit
  // without a segment start is never rewritten, only read again whole when a rewrite before it
  // runs into it. A longer `open` can be completed across such a rewrite from bytes before
  // it, so then the whole unit stays live.
  const bool one_byte_open = rules_.open.size() == 1;
  std::size_t begin = 0;
  std::vector<std::uint32_t> opens;  // character starts of `text` where `open` starts
  auto add = [&](std::size_t end, bool closed) {
    // The unit is the lead (for the first one only, and dead) and then text[begin, end).
    std::size_t live = begin;  // in `text`
    if (one_byte_open) live = opens.empty() ? end : opens.front();
    Unit unit;
    unit.closed = closed;
    if (first == -1) unit.dead = std::move(lead);
    unit.dead.append(text.substr(begin, live - begin));
    unit.text = std::string(text.substr(live, end - live));
    for (const std::uint32_t o : opens) unit.opens.push_back(static_cast<std::uint32_t>(o - live));
    opens.clear();
    begin = end;
    const std::int32_t id = link(std::move(unit));
    for_each_key(units_[id], [&](const Key& key) { index_[key].push_back(id); });
  };

  for (std::size_t i = 0; i < text.size();) {
    if (opens_at(text, i)) opens.push_back(static_cast<std::uint32_t>(i));
    if (is_lead_byte(text[i])) {
      i += 2;
    } else if (text[i++] == rules_.close) {
      add(i, true);
    }
  }
  if (begin < text.size()) add(text.size(), false);
  if (first == -1 && !lead.empty()) {  // everything removed up to the end of the text
    Unit rest;
    rest.dead = std::move(lead);
    link(std::move(rest));
  }

  if (first == -1) {  // nothing added: join the neighbours
    if (prev != -1) units_[prev].next = next;
    if (next != -1) units_[next].prev = prev;
    return -1;
  }
  units_[last].next = next;
  if (next != -1) units_[next].prev = last;
  return first;
}

template <typename OnKey>
void SegmentText::for_each_key(const Unit& unit, OnKey on_key) const {
  if (!unit.closed) return;
  // The unit's tails that begin with `open`, from the shortest.
  std::uint64_t h = 0;
  std::size_t pos = unit.text.size();
  for (auto o = unit.opens.size(); o-- > 0;) {
    while (pos > unit.opens[o]) {
      const char c = unit.text[--pos];
      h = mul_add(h, static_cast<unsigned char>(rules_.ignore_case ? fold_ascii(c) : c) + 1u);
    }
    on_key(Key{h, unit.text.size() - pos});
  }
}

void SegmentText::release(std::int32_t u) {
  Unit& unit = units_[u];
  for_each_key(unit, [&](const Key& key) {
    const auto listed = index_.find(key);
    if (listed == index_.end()) return;
    std::erase(listed->second, u);
    if (listed->second.empty()) index_.erase(listed);
  });
  unit.alive = false;
  std::string().swap(unit.dead);
  std::string().swap(unit.text);
  std::vector<std::uint32_t>().swap(unit.opens);
}

std::optional<GbkText> SegmentText::first_segment() {
  for (std::int32_t u = first_open_; u != -1; u = units_[u].next) {
    const Unit& unit = units_[u];
    if (unit.opens.empty()) continue;
    first_open_ = u;
    if (!unit.closed) return std::nullopt;
    const std::size_t after_open = unit.opens.front() + rules_.open.size();
    return rules_.open + unit.text.substr(after_open);
  }
  first_open_ = -1;
  return std::nullopt;
}

bool SegmentText::replace_all(std::string_view segment, std::string_view replacement,
                              std::size_t max_size) {
  if (!is_segment(segment)) {
    GbkText replaced = replace_text(text(), segment, replacement, !rules_.ignore_case);
    if (replaced.size() > max_size) return false;
    reset(replaced);
    return true;
  }
  const auto found = index_.find(Key{hash_of(segment), segment.size()});
  if (found == index_.end()) return true;
  // Every copy is the tail of one unit. Mark them all before rewriting any, since a rewrite
  // may join a unit with the ones after it.
  ++stamp_;
  std::vector<std::int32_t>& listed = found->second;
  std::vector<std::int32_t> copies;
  std::size_t kept = 0;
  for (const std::int32_t u : listed) {
    Unit& unit = units_[u];
    if (!unit.alive) continue;
    listed[kept++] = u;
    const std::string_view tail =
        std::string_view(unit.text).substr(unit.text.size() - segment.size());
    if (same(tail, segment)) {
      unit.marked = stamp_;
      copies.push_back(u);
    }
  }
  listed.resize(kept);
  const std::size_t size =
      size_ - copies.size() * segment.size() + copies.size() * replacement.size();
  if (size > max_size) {
    for (const std::int32_t u : copies) units_[u].marked = 0;
    return false;
  }
  // Any order gives the same text: a rewrite that runs into a later copy replaces it too.
  for (const std::int32_t u : copies) {
    if (units_[u].marked == stamp_) rewrite_from(u, segment.size(), replacement);
  }
  size_ = size;
  return true;
}

// Rewrites the units from `first` (a marked one) onwards, each marked unit with its tail
// replaced, until the new text ends with a closing byte at a character start where an old unit
// ended: from there on, the old units read as before.
void SegmentText::rewrite_from(std::int32_t first, std::size_t segment_size,
                               std::string_view replacement) {
  const std::int32_t prev = units_[first].prev;
  std::string dead, joined;
  std::size_t parsed = 0;  // the next character start in `joined`
  bool ends_closed = false;
  std::int32_t u = first;
  do {
    const std::int32_t here = u;
    Unit& unit = units_[here];
    if (here == first) {
      dead = std::move(unit.dead);
    } else {
      joined += unit.dead;
    }
    if (unit.marked == stamp_) {
      joined.append(unit.text, 0, unit.text.size() - segment_size);
      joined += replacement;
      unit.marked = 0;
    } else {
      joined += unit.text;
    }
    u = unit.next;
    release(here);
    for (; parsed < joined.size(); parsed += is_lead_byte(joined[parsed]) ? 2 : 1) {
      ends_closed = !is_lead_byte(joined[parsed]) && joined[parsed] == rules_.close;
    }
  } while (u != -1 && !ends_closed);

  const std::int32_t next = u;
  const std::int32_t added = add_units(joined, prev, next, std::move(dead));
  const std::int32_t after_prev = added != -1 ? added : next;
  if (prev == -1) head_ = after_prev;
  // The rewritten stretch began at or after the first unit that can hold a segment start.
  if (first_open_ != -1 && !units_[first_open_].alive) first_open_ = after_prev;
}

GbkText SegmentText::text() const {
  GbkText out;
  for (std::int32_t u = head_; u != -1; u = units_[u].next) {
    out += units_[u].dead;
    out += units_[u].text;
  }
  return out;
}

}  // namespace quillrank
