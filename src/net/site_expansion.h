// Site entries: a "[site]" in the keyword list becomes one site|keyword line per word of that
// site's home-page title and meta keywords, at the start of every run.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

// Fetches one home page; the empty buffer when the fetch failed. Called on the caller's thread.
using HomePageFetch = std::function<ByteBuffer(std::string_view url)>;

// The box text with every site entry replaced by its lines; one fetch per distinct entry. A text
// without "[" comes back unchanged and nothing is fetched.
GbkText expand_site_entries(std::string_view box_text, const HomePageFetch& fetch);

}  // namespace quillrank
