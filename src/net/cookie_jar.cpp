#include "net/cookie_jar.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quillrank {

std::string default_cookie_folder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data) + "/quillrank/cookies";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share/quillrank/cookies";
  return {};
}

std::vector<std::string> read_cookie_file(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > kMaxCookieFileBytes) return {};
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "#HttpOnly_" marks a cookie line, any other "#" a comment.
    if (line.empty() || (line[0] == '#' && !line.starts_with("#HttpOnly_"))) continue;
    lines.push_back(std::move(line));
  }
  return lines;
}

bool write_cookie_file(const std::string& path, const std::vector<std::string>& lines) {
  const std::filesystem::path file(path);
  const std::filesystem::path folder = file.parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::exists(folder, error)) {
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
  }
  std::string text = "# Netscape HTTP Cookie File (Quillrank)\n";
  for (const std::string& line : lines) text += line + "\n";
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const bool complete = written == text.size() && fchmod(fd, 0600) == 0;
  if (close(fd) != 0 || !complete || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::optional<CookieFileStamp> cookie_file_stamp(const std::string& path) {
  struct stat file = {};
  if (stat(path.c_str(), &file) != 0) return std::nullopt;
  return CookieFileStamp{.inode = static_cast<unsigned long long>(file.st_ino),
                         .modified_ns = static_cast<long long>(file.st_mtim.tv_sec) * 1000000000LL +
                                        file.st_mtim.tv_nsec,
                         .size = static_cast<long long>(file.st_size)};
}

}  // namespace quillrank
