// Literal statements of the meta-tag reader, entry collection, word loop and site expansion, the
// oracle the fast versions are held against; and random texts dense in their markers. Test use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "net/fetched_page.h"
#include "text/extract.h"
#include "text/gbk_text.h"
#include "text/text_codec.h"

namespace quillrank::reference {

// Each loop removes every copy of the tag, entry or word it took from the whole text, pass after
// pass, exactly as the rules say; quadratic, and fine for small inputs.
inline GbkText read_meta_value(std::string_view page, std::string_view test_word,
                               std::string_view value_key, int window) {
  GbkText w(page), a;
  while (find_text(w, "<meta ", true) != -1) {
    if (find_text(w, ">", find_text(w, "<meta ", true) + 6, true) == -1) break;
    GbkText t = extract_between(w, "<meta ", ">", true, false);
    w = replace_text(w, t, "", false);
    if (find_text(t, test_word, true) == -1) continue;
    t = replace_text(t, "'", "\"", false);
    const GbkText squeezed = remove_spaces(t);
    const int at = find_text(squeezed, value_key, true);
    const GbkText after_key = at == -1 ? GbkText() : mid_text(squeezed, at, window);
    if (find_text(after_key, "\"", true) == -1) {
      t = replace_text(t, "=", "=\"", false);
      t = replace_text(t, " ", "\"", false);
      t = replace_text(t, ">", "\">", false);
    }
    a += t;
  }
  a = remove_spaces(a);
  return extract_between(a, concat_text(value_key, "\""), "\"", false, false);
}

inline GbkText detect_page_charset(std::string_view page) {
  const GbkText value = to_lower(read_meta_value(page, "charset", "charset=", 9));
  return value == "gb2312" || value == "gbk" || value == "gb18030" ? "GBK2312" : "UTF8";
}

inline std::vector<GbkText> collect_segments(std::string_view text, std::string_view left,
                                             std::string_view right) {
  GbkText w(text);
  std::vector<GbkText> list;
  while (find_text(w, left, false) != -1) {
    const int at = find_text(w, left, true);
    if (find_text(w, right, at + text_length(left), true) == -1) break;
    const GbkText s = extract_between(w, left, right, true, false);
    list.push_back(s);
    w = replace_text(w, s, "", true);
  }
  return list;
}

inline std::vector<GbkText> site_words(std::string_view title, std::string_view keywords) {
  GbkText k = concat_text(title, "|", keywords);
  k = replace_text(k, ",", "|", true);
  k = replace_text(k, "_", "|", true);
  k = replace_text(k, "-", "|", true);
  k = replace_text(k, "||", "|", true);
  if (left_text(k, 1) == "|") k = right_text(k, text_length(k) - 1);
  if (right_text(k, 1) == "|") k = left_text(k, text_length(k) - 1);
  k += "|";
  std::vector<GbkText> words;
  while (find_text(k, "|", false) != -1) {
    const GbkText word = left_text(k, find_text(k, "|", false) - 1);
    words.push_back(word);
    k = replace_text(k, concat_text(word, "|"), "", false);
  }
  return words;
}

// The first segment from `open` (empty: from the text's start) to the first `close` after it,
// spelled with `open` as given; nullopt when there is none.
inline std::optional<GbkText> first_segment(std::string_view text, std::string_view open,
                                            char close, bool ignore_case) {
  const std::string closing(1, close);
  if (open.empty()) {
    const int at = find_text(text, closing, false);
    if (at == -1) return std::nullopt;
    return left_text(text, at);
  }
  const int at = find_text(text, open, ignore_case);
  if (at == -1 || find_text(text, closing, at + text_length(open), true) == -1) {
    return std::nullopt;
  }
  return extract_between(text, open, closing, true, !ignore_case);
}

// Fetches once for every listed entry, repeats included; an entry whose page gives no words
// stays.
inline GbkText expand_site_entries(std::string_view box_text, const PageSource& fetch) {
  GbkText box(box_text);
  for (const GbkText& entry : collect_segments(box_text, "[", "]")) {
    GbkText host = replace_text(entry, "http://", "", false);
    host = extract_between(host, "[", "]", false, false);
    GbkText url = concat_text("http://", host);
    if (find_text(left_text(host, 8), "https://", true) == 1) {
      host = right_text(host, text_length(host) - 8);
      url = concat_text("https://", host);
    }
    const FetchedPage fetched = fetch(url, {});
    if (!fetched.ok()) continue;  // an entry whose home page cannot be read stays as it is
    GbkText page = to_text(fetched.body);
    if (detect_page_charset(page) == "UTF8") page = utf8_to_gbk_text(page);
    const GbkText title = extract_between(page, "<title>", "</title>", false, false);
    const GbkText keywords = read_meta_value(page, "keywords", "content=", 10);
    if (remove_spaces(title).empty() && remove_spaces(keywords).empty()) continue;
    GbkText lines;
    for (const GbkText& word : site_words(title, keywords)) {
      // A line break or tab inside a word is one blank each, so the word stays one line.
      const GbkText blanked = replace_text(
          replace_text(replace_text(word, "\r", " ", true), "\n", " ", true), "\t", " ", true);
      lines += concat_text(host, "|", blanked, "\r\n");
    }
    lines = left_text(lines, text_length(lines) - 2);
    box = replace_text(box, entry, lines, true);
  }
  return box;
}

// Random texts made mostly of the pieces one of the rules above reacts to, with some GBK
// characters (whose second byte may be "[", "]", "|" or ">") and random bytes mixed in.
using Pieces = std::vector<std::string>;

inline const Pieces& meta_pieces() {
  static const Pieces pieces = {
      "<meta ",   "<META ",   "<Meta ", "<me",       "ta ",      "<",       ">",
      "\"",       "'",        "=",      " ",         "charset=", "charset", "CHARSET=",
      "content=", "keywords", "gb2312", "GBK",       "\xD6\xD0", "\x81>",   "\x81",
      "\xA1\xA1", "a",        "x",      "<me<meta ", ">ta ",     "\x81<me"};
  return pieces;
}

inline const Pieces& entry_pieces() {
  static const Pieces pieces = {"[",       "]",       "[a]",      "[A]",     "a",       "b",
                                "http://", "HTTP://", "https://", "\x81]",   "\x81[",   "\x81",
                                "\r\n",    "|",       " ",        "<title>", "</title>"};
  return pieces;
}

inline const Pieces& word_pieces() {
  static const Pieces pieces = {"|",  ",", "_", "-",     "||",   "a",        "b",
                                "ab", "B", "A", "\x81|", "\x81", "\xD6\xD0", " "};
  return pieces;
}

inline const Pieces& all_pieces() {
  static const Pieces pieces = [] {
    Pieces all = meta_pieces();
    all.insert(all.end(), entry_pieces().begin(), entry_pieces().end());
    all.insert(all.end(), word_pieces().begin(), word_pieces().end());
    return all;
  }();
  return pieces;
}

inline std::string random_marker_text(std::mt19937& rng, std::size_t count,
                                      const Pieces& table = all_pieces()) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t pick = rng() % (table.size() + 3);
    if (pick < table.size()) {
      out += table[pick];
    } else {
      out.push_back(static_cast<char>(rng() % 255 + 1));  // never a zero byte
    }
  }
  return out;
}

// The same from fuzz bytes: a byte below 0x30 picks a piece, any other byte stands for itself.
inline std::string marker_text_from(std::string_view bytes, const Pieces& table = all_pieces()) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x30) {
      out += table[b % table.size()];
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace quillrank::reference
