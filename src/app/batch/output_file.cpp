#include "app/batch/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace quillrank {
namespace {

std::string reason() { return std::strerror(errno); }

// The mode a newly created file would get, or the target's own when it exists.
mode_t target_mode(const std::string& path) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::variant<OutputFile, std::string> OutputFile::open(const std::string& path,
                                                       const std::string& input) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(path, error)) return path + " is a folder";
  // The output replaces only a regular file the user may write, or takes a new name: a device,
  // a pipe or a link would be replaced by a plain file, and a read-only file is kept read-only
  // for a reason (root may write it all the same, so its mode bits are asked too).
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0) {
    if (S_ISLNK(existing.st_mode)) return path + " is a symbolic link; name the file itself";
    if (!S_ISREG(existing.st_mode)) return path + " is not a regular file";
    if (access(path.c_str(), W_OK) != 0 || (existing.st_mode & 0222) == 0) {
      return path + " is read-only";
    }
  }
  if (input != "-" && fs::equivalent(input, path, error)) {
    return "the output " + path + " is the input file";
  }
  const fs::path target(path);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  std::string temp = (fs::path(folder) / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return "cannot write in " + folder + ": " + reason();
  temp.assign(name.data());
  fchmod(fd, target_mode(path));
  return OutputFile(path, std::move(temp), fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)), temp_path_(std::move(other.temp_path_)), fd_(other.fd_) {
  other.temp_path_.clear();
  other.fd_ = -1;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

std::optional<std::string> OutputFile::commit(std::string_view contents) {
  const bool written = write_all(fd_, contents) && fsync(fd_) == 0;
  const std::string why = written ? std::string() : reason();
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!written) return why;
  if (!closed) return reason();
  if (rename(temp_path_.c_str(), path_.c_str()) != 0) return reason();
  temp_path_.clear();
  return std::nullopt;
}

}  // namespace quillrank
