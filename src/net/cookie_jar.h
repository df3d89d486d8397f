// The files that keep an engine's cookies between runs: one per engine in the user's data
// folder, in the Netscape cookie-file format the transfer library reads and writes, readable by
// the user alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillrank {

// A cookie file longer than this is not read (no engine sets a fraction of it).
inline constexpr std::size_t kMaxCookieFileBytes = 1u << 20;

// $XDG_DATA_HOME/quillrank/cookies, else ~/.local/share/quillrank/cookies; empty when neither
// variable is set.
std::string default_cookie_folder();

// The cookie lines of the file at `path` (comments and blank lines left out); none when it is
// missing, unreadable or longer than kMaxCookieFileBytes.
std::vector<std::string> read_cookie_file(const std::string& path);

// Writes `lines` to `path` whole or not at all (a temporary file beside it, mode 0600, renamed
// over it), creating its folder (mode 0700) when missing. False when it could not.
bool write_cookie_file(const std::string& path, const std::vector<std::string>& lines);

// What tells one version of a cookie file from the next: every write renames a new file over
// the old, so its inode changes, and its time and size with it.
struct CookieFileStamp {
  unsigned long long inode = 0;
  long long modified_ns = 0;
  long long size = 0;

  bool operator==(const CookieFileStamp&) const = default;
};

// The stamp of the file at `path` now; nullopt when there is none.
std::optional<CookieFileStamp> cookie_file_stamp(const std::string& path);

}  // namespace quillrank
