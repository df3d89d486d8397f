// Character-aware scanning of GBK bytes: the shared engine behind find_text, replace_text and the
// keyword splitter. A character start is found by walking from a known start: a byte of 0x80 or
// above takes the next byte with it, whatever that byte is.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace quillrank::scan {

inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

// A byte of 0x80 or above starts a two-byte character, whatever its second byte is.
inline bool is_lead_byte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// ASCII A-Z as a-z; every other byte as it is.
inline char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

// `pos` must be a character start (or the text's end). Returns the first character start at or
// after `target`, which may be text.size() or text.size() + 1 when the last byte is a lead byte
// standing alone (a truncated character).
std::size_t next_char_start(std::string_view text, std::size_t pos, std::size_t target);

// At most the first `max` bytes of `text` (taken as starting at a character start), cut at a
// character start.
std::string_view head(std::string_view text, std::size_t max);

// Offset of the first occurrence of a non-empty `sought` that begins at a character start, the
// walk starting at offset `from` (taken as a character start), or npos.
std::size_t find_at_char_start(std::string_view text, std::string_view sought, std::size_t from);

// find_at_char_start with ASCII letters of `text` folded to lower case, for a `folded_sought`
// already folded; folds a window at a time, so a long text is never copied whole.
std::size_t find_folded_at_char_start(std::string_view text, std::string_view folded_sought,
                                      std::size_t from);

// Where an occurrence may begin: at a character start of the GBK walk, or at any byte (right for
// UTF-8 text, where a sequence cannot begin inside another).
enum class Starts { characters, bytes };

// Calls `visit` with the offset of each occurrence of a non-empty, folded `folded_sought` from
// `from` on, in order, overlapping ones too, ASCII letters of `text` folded, until `visit`
// returns false; one pass, a window at a time.
void for_each_folded(std::string_view text, std::string_view folded_sought, std::size_t from,
                     Starts starts, const std::function<bool(std::size_t offset)>& visit);

// ASCII A-Z folded to a-z, every other byte unchanged (second bytes of characters included).
std::string fold_ascii_case(std::string_view text);

}  // namespace quillrank::scan
