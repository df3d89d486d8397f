#include "net/segment_text.h"

#include <algorithm>

#include "text/char_scan.h"

namespace quillrank {
namespace {

// Polynomial hashing modulo the Mersenne prime 2^61 - 1, lowest power first: H(xy) = H(x) +
// B^|x| H(y), so a hash can be shortened at its end or extended there in constant time.
constexpr std::uint64_t kMod = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kBase = 0x1B873593A1C3E5F7ULL % kMod;

std::uint64_t mul(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  const std::uint64_t s =
      static_cast<std::uint64_t>(r & kMod) + static_cast<std::uint64_t>(r >> 61);
  return s >= kMod ? s - kMod : s;
}
std::uint64_t add(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t s = a + b;
  return s >= kMod ? s - kMod : s;
}
std::uint64_t sub(std::uint64_t a, std::uint64_t b) { return a >= b ? a - b : a + kMod - b; }

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

bool lead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

}  // namespace

SegmentText::SegmentText(std::string_view text, SegmentRules rules) : rules_(std::move(rules)) {
  reset(text);
}

std::uint64_t SegmentText::value(char c) const {
  return static_cast<unsigned char>(rules_.ignore_case ? fold(c) : c) + std::uint64_t{1};
}

std::uint64_t SegmentText::power(std::uint64_t k) {
  while (powers_.size() <= k) powers_.push_back(mul(powers_.back(), kBase));
  return powers_[k];
}

SegmentText::Layout SegmentText::layout(std::string_view text,
                                        std::vector<bool>* char_starts) const {
  Layout out;
  const std::string_view open = rules_.open;
  for (std::size_t i = 0; i < text.size(); i += lead(text[i]) ? 2 : 1) {
    if (char_starts) (*char_starts)[i] = true;
    if (open.empty()) {
      out.opens.push_back(i);
    } else if (text[i] == open[0] || (rules_.ignore_case && fold(text[i]) == fold(open[0]))) {
      const std::string_view here = text.substr(i, open.size());
      bool same = here.size() == open.size();
      for (std::size_t k = 1; same && k < open.size(); ++k) {
        same = rules_.ignore_case ? fold(here[k]) == fold(open[k]) : here[k] == open[k];
      }
      if (same) out.opens.push_back(i);
    }
    if (text[i] == rules_.close) out.closes.push_back(i);
  }
  return out;
}

// Hashes text[begin, end) from its end; reports each start in that range, taken from `opens`
// downwards from index next_open, with the hash of the text from it to `end`.
template <typename OnOpen>
std::uint64_t SegmentText::hash_back(std::string_view text, std::uint64_t begin, std::uint64_t end,
                                     const std::vector<std::uint64_t>& opens,
                                     std::ptrdiff_t& next_open, OnOpen on_open) const {
  std::uint64_t h = 0;
  for (std::uint64_t i = end; i-- > begin;) {
    h = add(value(text[i]), mul(kBase, h));
    if (next_open >= 0 && opens[next_open] == i) {
      on_open(i, h);
      --next_open;
    }
  }
  return h;
}

void SegmentText::reset(std::string_view text) {
  std::string copy(text);  // `text` may live in the chunks cleared below
  chunks_.clear();
  pieces_.clear();
  piece_at_.clear();
  opens_.clear();
  units_.clear();
  index_.clear();
  char_start_.clear();
  head_piece_ = -1;
  const std::string_view t = chunks_.emplace_back(std::move(copy));
  if (!t.empty()) {
    pieces_.push_back({t.data(), 0, t.size(), -1, -1});
    head_piece_ = 0;
    piece_at_[0] = 0;
  }
  next_addr_ = t.size() + 1;
  const bool long_open = rules_.open.size() > 1;
  if (long_open) char_start_.assign(t.size(), false);
  const Layout lay = layout(t, long_open ? &char_start_ : nullptr);

  const std::size_t closed = lay.closes.size();
  units_.resize(closed + 1);
  for (std::size_t k = 0; k <= closed; ++k) {
    Unit& u = units_[k];
    u = Unit{k < closed ? lay.closes[k] : 0,
             0,
             0,
             -1,
             -1,
             static_cast<std::int32_t>(k) - 1,
             k < closed ? static_cast<std::int32_t>(k + 1) : -1,
             0,
             -1,
             k < closed};
  }
  std::ptrdiff_t next_open = static_cast<std::ptrdiff_t>(lay.opens.size()) - 1;
  // Starts after the last closing byte can never begin a segment: they are not kept.
  while (next_open >= 0 && (closed == 0 || lay.opens[next_open] > lay.closes.back())) --next_open;
  for (std::size_t k = closed; k-- > 0;) {
    const std::uint64_t begin = k ? lay.closes[k - 1] + 1 : 0, end = lay.closes[k] + 1;
    const auto unit = static_cast<std::int32_t>(k);
    units_[k].len = end - begin;
    units_[k].hash =
        hash_back(t, begin, end, lay.opens, next_open, [&](std::uint64_t at, std::uint64_t h) {
          const std::int32_t id = add_open(at, h, end - at, unit);
          prepend(unit, id, id);
        });
    index_last(unit);
  }
  scan_from_ = 0;
}

std::int32_t SegmentText::add_open(std::uint64_t addr, std::uint64_t hash, std::uint64_t len,
                                   std::int32_t unit) {
  const auto id = static_cast<std::int32_t>(opens_.size());
  opens_.push_back(Open{addr, hash, len, unit, -1, -1, 0, true, false});
  if (index_all()) index(id);
  return id;
}

void SegmentText::index(std::int32_t open) {
  Open& o = opens_[open];
  index_[Key{o.hash, o.len}].push_back(Entry{open, o.version});
  o.listed = true;
}

// With a marker, only a stretch's last start needs to be found by hash: a copy of a segment that
// holds more starts is found from the copy of its last start.
void SegmentText::index_last(std::int32_t unit) {
  if (index_all() || !units_[unit].closed) return;
  const std::int32_t last = units_[unit].last;
  if (last >= 0 && !opens_[last].listed) index(last);
}

std::uint64_t SegmentText::hash_of(std::string_view text) const {
  std::uint64_t h = 0;
  for (std::size_t i = text.size(); i-- > 0;) h = add(value(text[i]), mul(kBase, h));
  return h;
}

// Drops `open` and every start after it in its unit: they lie inside the text being replaced.
void SegmentText::detach_from(std::int32_t unit, std::int32_t open) {
  Unit& u = units_[unit];
  for (std::int32_t x = u.last;;) {
    const std::int32_t before = opens_[x].prev;
    opens_[x].alive = false;
    if (x == open) {
      u.last = before;
      if (before >= 0) {
        opens_[before].next = -1;
      } else {
        u.first = -1;
      }
      return;
    }
    x = before;
  }
}

// The starts from `first` on had keys ending in a text of (old_hash, old_len); that ending is
// replaced by one of (new_hash, new_len), and the starts now belong to `unit`.
void SegmentText::rekey(std::int32_t first, std::int32_t unit, std::uint64_t old_hash,
                        std::uint64_t old_len, std::uint64_t new_hash, std::uint64_t new_len) {
  const bool closed = units_[unit].closed;
  for (std::int32_t x = first; x >= 0; x = opens_[x].next) {
    Open& o = opens_[x];
    if (!closed) {
      o.alive = false;
      continue;
    }
    const std::uint64_t ahead = o.len - old_len;
    const std::uint64_t part = sub(o.hash, mul(power(ahead), old_hash));
    o.hash = add(part, mul(power(ahead), new_hash));
    o.len = ahead + new_len;
    o.unit = unit;
    ++o.version;
    o.listed = false;
    if (index_all()) index(x);
  }
}

void SegmentText::prepend(std::int32_t unit, std::int32_t first, std::int32_t last) {
  if (first < 0) return;
  Unit& u = units_[unit];
  if (!u.closed) {
    for (std::int32_t x = first; x >= 0; x = opens_[x].next) opens_[x].alive = false;
    return;
  }
  opens_[last].next = u.first;
  if (u.first >= 0) {
    opens_[u.first].prev = last;
  } else {
    u.last = last;
  }
  u.first = first;
}

void SegmentText::append(std::int32_t& first, std::int32_t& last, std::int32_t open) {
  opens_[open].prev = last;
  opens_[open].next = -1;
  if (last >= 0) {
    opens_[last].next = open;
  } else {
    first = open;
  }
  last = open;
}

void SegmentText::unlink(std::int32_t unit) {
  const Unit& u = units_[unit];
  if (u.prev >= 0) units_[u.prev].next = u.next;
  if (u.next >= 0) units_[u.next].prev = u.prev;
  if (scan_from_ == unit) scan_from_ = u.next;
}

std::int32_t SegmentText::add_unit_after(std::int32_t after, std::uint64_t close,
                                         std::uint64_t hash, std::uint64_t len) {
  const auto id = static_cast<std::int32_t>(units_.size());
  const std::int32_t next = units_[after].next;
  units_.push_back(Unit{close, hash, len, -1, -1, after, next, 0, -1, true});
  units_[after].next = id;
  if (next >= 0) units_[next].prev = id;
  return id;
}

SegmentText::Cursor SegmentText::locate(std::uint64_t addr) const {
  auto it = piece_at_.upper_bound(addr);
  --it;
  return Cursor{it->second, addr - pieces_[it->second].addr};
}

bool SegmentText::step(Cursor& c) const {
  if (++c.offset == pieces_[c.piece].len) {
    c.piece = pieces_[c.piece].next;
    c.offset = 0;
  }
  return c.piece >= 0;
}

bool SegmentText::matches(std::int32_t open, std::string_view segment) const {
  Cursor c = locate(opens_[open].addr);
  for (std::size_t i = 0; i < segment.size(); ++i, step(c)) {
    const char a = byte(c), b = segment[i];
    if (rules_.ignore_case ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

GbkText SegmentText::segment_of(std::int32_t open) const {
  const Open& o = opens_[open];
  GbkText out = rules_.open;
  out.reserve(o.len);
  Cursor c = locate(o.addr);
  for (std::uint64_t i = 0; i < o.len; ++i, step(c)) {
    if (i >= rules_.open.size()) out.push_back(byte(c));
  }
  return out;
}

std::optional<GbkText> SegmentText::first_segment() {
  while (scan_from_ >= 0 && units_[scan_from_].closed && units_[scan_from_].first < 0) {
    scan_from_ = units_[scan_from_].next;
  }
  if (scan_from_ < 0 || !units_[scan_from_].closed) return std::nullopt;
  return segment_of(units_[scan_from_].first);
}

GbkText SegmentText::text() const {
  GbkText out;
  for (std::int32_t p = head_piece_; p >= 0; p = pieces_[p].next) {
    out.append(pieces_[p].data, pieces_[p].len);
  }
  return out;
}

// The fast path needs a segment whose only character-start closing byte is its last, which
// starts with the marker, and is at least two bytes long (replace_text drops a truncated
// character at the very end when it replaces single bytes). A replacement must be whole
// characters, so that the text after it keeps its character starts; and with a marker of two or
// more bytes only removal is handled, where a new marker can form only across the one join.
bool SegmentText::fast_path(std::string_view segment, std::string_view replacement) const {
  const std::string_view open = rules_.open;
  if (segment.size() < 2 || segment.size() <= open.size()) return false;
  if (open.size() > 1 && !replacement.empty()) return false;
  for (std::size_t k = 0; k < open.size(); ++k) {
    if (rules_.ignore_case ? fold(segment[k]) != fold(open[k]) : segment[k] != open[k]) {
      return false;
    }
  }
  std::size_t i = 0;
  for (; i + 1 < segment.size(); i += lead(segment[i]) ? 2 : 1) {
    if (segment[i] == rules_.close) return false;
  }
  if (i != segment.size() - 1 || segment.back() != rules_.close) return false;
  return scan::next_char_start(replacement, 0, replacement.size()) == replacement.size();
}

SegmentText::Shape SegmentText::shape_of(std::string_view text) const {
  Shape shape;
  shape.text = text;
  const Layout lay = layout(text, nullptr);
  std::ptrdiff_t next_open = static_cast<std::ptrdiff_t>(lay.opens.size()) - 1;
  const std::uint64_t rest_begin = lay.closes.empty() ? 0 : lay.closes.back() + 1;
  auto collect = [](Stretch& part) {
    return [&part](std::uint64_t at, std::uint64_t h) { part.opens.emplace_back(at, h); };
  };
  shape.rest.len = text.size() - rest_begin;
  shape.rest.hash =
      hash_back(text, rest_begin, text.size(), lay.opens, next_open, collect(shape.rest));
  shape.stretches.resize(lay.closes.size());
  for (std::size_t k = lay.closes.size(); k-- > 0;) {
    Stretch& part = shape.stretches[k];
    const std::uint64_t begin = k ? lay.closes[k - 1] + 1 : 0, end = lay.closes[k] + 1;
    part.close = lay.closes[k];
    part.len = end - begin;
    part.hash = hash_back(text, begin, end, lay.opens, next_open, collect(part));
  }
  std::ptrdiff_t none = -1;
  shape.hash = hash_back(text, 0, text.size(), lay.opens, none, [](auto, auto) {});
  std::reverse(shape.rest.opens.begin(), shape.rest.opens.end());
  for (Stretch& part : shape.stretches) std::reverse(part.opens.begin(), part.opens.end());
  return shape;
}

void SegmentText::replace_all(std::string_view segment, std::string_view replacement) {
  if (!fast_path(segment, replacement)) {
    reset(replace_text(text(), segment, replacement, !rules_.ignore_case));
    return;
  }
  const std::uint64_t seg_hash = hash_of(segment);
  // With a marker, the copies are found from the copies of the segment's last start.
  std::string_view last_part = segment;
  std::size_t inner_starts = 0;
  if (!index_all()) {
    const Layout lay = layout(segment, nullptr);
    inner_starts = lay.opens.size() - 1;
    last_part = segment.substr(lay.opens.back());
  }
  const Key key{hash_of(last_part), last_part.size()};
  const auto found = index_.find(key);
  if (found == index_.end()) return;
  const std::vector<Entry> entries = std::move(found->second);
  index_.erase(found);

  ++stamp_;
  std::vector<std::int32_t> cut;
  for (const Entry& e : entries) {
    Open& o = opens_[e.open];
    if (!o.alive || o.version != e.version) continue;
    o.listed = false;
    std::int32_t start = e.open;
    for (std::size_t k = 0; k < inner_starts && start >= 0; ++k) start = opens_[start].prev;
    if (start < 0 || opens_[start].len != segment.size() || opens_[start].hash != seg_hash ||
        units_[o.unit].cut_stamp == stamp_ || !matches(start, segment)) {
      index(e.open);  // not a copy: it stays findable
      continue;
    }
    units_[o.unit].cut_stamp = stamp_;
    units_[o.unit].cut_open = start;
    cut.push_back(o.unit);
  }
  if (cut.empty()) return;

  const Shape shape =
      shape_of(replacement.empty() ? std::string_view()
                                   : std::string_view(chunks_.emplace_back(replacement)));
  // Copies in adjacent units join into one stretch; each run of them is rewritten from its right
  // end, so that every remainder joins a unit that is already in its final form.
  std::vector<std::int32_t> run;
  for (const std::int32_t head : cut) {
    const std::int32_t before = units_[head].prev;
    if (before >= 0 && units_[before].cut_stamp == stamp_) continue;
    run.clear();
    for (std::int32_t u = head; u >= 0 && units_[u].cut_stamp == stamp_; u = units_[u].next) {
      run.push_back(u);
    }
    for (std::size_t i = run.size(); i-- > 0;) cut_unit(run[i], segment.size(), seg_hash, shape);
  }
}

// Replaces the tail of `unit` from its cut start by the replacement. What stays of the unit (its
// remainder) ends either at the replacement's first closing byte, or, when the replacement has
// none, runs on into the next unit, which then takes in remainder and replacement.
void SegmentText::cut_unit(std::int32_t unit, std::uint64_t seg_len, std::uint64_t seg_hash,
                           const Shape& shape) {
  const std::int32_t open = units_[unit].cut_open;
  const std::uint64_t remainder = units_[unit].len - seg_len;
  const std::uint64_t remainder_hash = sub(units_[unit].hash, mul(power(remainder), seg_hash));
  const std::uint64_t from = opens_[open].addr, to = units_[unit].close;
  detach_from(unit, open);
  const std::uint64_t base = next_addr_;
  next_addr_ += shape.text.size() + 1;
  const Junction join = rope_replace(from, to, shape.text, base);
  const std::uint64_t size = shape.text.size();

  // The starts inside the replacement that run on into the next unit, keyed against it.
  auto rest_opens = [&](std::int32_t next, std::int32_t& first, std::int32_t& last) {
    if (!units_[next].closed) return;
    for (const auto& [at, h] : shape.rest.opens) {
      const std::uint64_t ahead = size - at;
      append(first, last,
             add_open(base + at, add(h, mul(power(ahead), units_[next].hash)),
                      ahead + units_[next].len, next));
    }
  };

  const std::int32_t next = units_[unit].next;
  if (shape.stretches.empty()) {
    const std::int32_t first = units_[unit].first, last = units_[unit].last;
    const std::uint64_t tail_hash = add(shape.hash, mul(power(size), units_[next].hash));
    const std::uint64_t tail_len = size + units_[next].len;
    rekey(first, next, seg_hash, seg_len, tail_hash, tail_len);
    std::int32_t add_first = -1, add_last = -1;
    rest_opens(next, add_first, add_last);
    std::uint64_t k = 0;
    if (size == 0 && remainder > 0 && units_[next].closed) {
      if (const auto found = junction_open(join, remainder, k)) {
        append(add_first, add_last,
               add_open(found->first, add(found->second, mul(power(k), units_[next].hash)),
                        k + units_[next].len, next));
      }
    }
    prepend(next, add_first, add_last);
    prepend(next, first, last);
    units_[next].hash = add(remainder_hash, mul(power(remainder), tail_hash));
    units_[next].len = remainder + tail_len;
    index_last(next);
    unlink(unit);
    return;
  }

  const Stretch& head = shape.stretches.front();
  rekey(units_[unit].first, unit, seg_hash, seg_len, head.hash, head.len);
  units_[unit].close = base + head.close;
  units_[unit].hash = add(remainder_hash, mul(power(remainder), head.hash));
  units_[unit].len = remainder + head.len;
  std::int32_t after = unit;
  for (std::size_t k = 0; k < shape.stretches.size(); ++k) {
    const Stretch& part = shape.stretches[k];
    if (k > 0) after = add_unit_after(after, base + part.close, part.hash, part.len);
    for (const auto& [at, h] : part.opens) {
      append(units_[after].first, units_[after].last,
             add_open(base + at, h, part.close + 1 - at, after));
    }
    index_last(after);
  }
  std::int32_t add_first = -1, add_last = -1;
  rest_opens(next, add_first, add_last);
  prepend(next, add_first, add_last);
  if (units_[next].closed) {
    units_[next].hash = add(shape.rest.hash, mul(power(shape.rest.len), units_[next].hash));
    units_[next].len += shape.rest.len;
  }
  index_last(next);
}

// A marker of two or more bytes can form anew where a removal joins the remainder's last bytes
// (at most `limit` of them) to the bytes after. Returns the new start's address and the hash of
// its k bytes before the join.
std::optional<std::pair<std::uint64_t, std::uint64_t>> SegmentText::junction_open(
    Junction j, std::uint64_t limit, std::uint64_t& k) {
  const std::string_view open = rules_.open;
  if (open.size() < 2 || j.left < 0 || j.right < 0) return std::nullopt;
  std::vector<std::pair<std::uint64_t, char>> back;  // nearest first
  for (Cursor c{j.left, pieces_[j.left].len - 1};
       back.size() < std::min<std::uint64_t>(limit, open.size() - 1);) {
    back.emplace_back(pieces_[c.piece].addr + c.offset, byte(c));
    if (c.offset > 0) {
      --c.offset;
    } else if (pieces_[c.piece].prev >= 0) {
      c.piece = pieces_[c.piece].prev;
      c.offset = pieces_[c.piece].len - 1;
    } else {
      break;
    }
  }
  std::string ahead;
  for (Cursor c{j.right, 0}; ahead.size() + 1 < open.size();) {
    ahead.push_back(byte(c));
    if (!step(c)) break;
  }
  for (k = 1; k <= back.size(); ++k) {
    const std::uint64_t start = back[k - 1].first;
    if (!char_start_[start] || ahead.size() < open.size() - k) continue;
    std::string joined;
    for (std::size_t i = k; i-- > 0;) joined.push_back(back[i].second);
    joined.append(ahead, 0, open.size() - k);
    bool same = true;
    for (std::size_t i = 0; same && i < open.size(); ++i) {
      same = rules_.ignore_case ? fold(joined[i]) == fold(open[i]) : joined[i] == open[i];
    }
    if (!same) continue;
    std::uint64_t h = 0;
    for (std::size_t i = k; i-- > 0;) h = add(value(joined[i]), mul(kBase, h));
    return std::make_pair(start, h);
  }
  return std::nullopt;
}

// Replaces the live bytes from address `from` to address `to` (both live, `from` first) by
// `with`, whose bytes get the addresses from `base` on.
SegmentText::Junction SegmentText::rope_replace(std::uint64_t from, std::uint64_t to,
                                                std::string_view with, std::uint64_t base) {
  const Cursor c1 = locate(from), c2 = locate(to);
  const Piece first = pieces_[c1.piece], last = pieces_[c2.piece];
  for (std::int32_t x = c1.piece;; x = pieces_[x].next) {
    piece_at_.erase(pieces_[x].addr);
    if (x == c2.piece) break;
  }
  std::int32_t left = -1, middle = -1, right = -1;
  if (c1.offset > 0) {
    left = c1.piece;
    pieces_[left].len = c1.offset;
    piece_at_[first.addr] = left;
  }
  auto new_piece = [this]() {
    pieces_.push_back(Piece{});
    return static_cast<std::int32_t>(pieces_.size() - 1);
  };
  if (!with.empty()) {
    middle = new_piece();
    pieces_[middle] = Piece{with.data(), base, with.size(), -1, -1};
    piece_at_[base] = middle;
  }
  if (c2.offset + 1 < last.len) {
    right = (c2.piece != c1.piece || left < 0) ? c2.piece : new_piece();
    const std::uint64_t skip = c2.offset + 1;
    pieces_[right] = Piece{last.data + skip, last.addr + skip, last.len - skip, -1, -1};
    piece_at_[last.addr + skip] = right;
  }
  std::int32_t prev = first.prev;
  for (const std::int32_t x : {left, middle, right}) {
    if (x < 0) continue;
    pieces_[x].prev = prev;
    if (prev >= 0) {
      pieces_[prev].next = x;
    } else {
      head_piece_ = x;
    }
    prev = x;
  }
  if (prev >= 0) {
    pieces_[prev].next = last.next;
  } else {
    head_piece_ = last.next;
  }
  if (last.next >= 0) pieces_[last.next].prev = prev;
  return Junction{left >= 0 ? left : first.prev, right >= 0 ? right : last.next};
}

}  // namespace quillrank
