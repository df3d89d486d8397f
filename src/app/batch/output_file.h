// The batch command's -o file: the table is written beside the target under a temporary name and
// renamed over it only once it is complete and on disk, so a failed or interrupted run never
// leaves a half-written table or destroys the previous one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillrank {

// Writes all of `bytes` to `fd`, going on after interruptions; false with errno set on failure.
bool write_all(int fd, std::string_view bytes);

class OutputFile {
 public:
  // Checks the target and creates the temporary file, so a folder that is missing or not
  // writable is found before any work is done. Refuses a target that is a folder or the same
  // file as `input` ("-" reads no file). Returns the file, or a message saying what is wrong.
  static std::variant<OutputFile, std::string> open(const std::string& path,
                                                    const std::string& input);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless it was committed

  const std::string& temp_path() const { return temp_path_; }

  // Writes `contents`, flushes it to disk and renames it over the target. The reason on failure;
  // the target is then untouched and the temporary file removed.
  std::optional<std::string> commit(std::string_view contents);

 private:
  OutputFile(std::string path, std::string temp_path, int fd)
      : path_(std::move(path)), temp_path_(std::move(temp_path)), fd_(fd) {}

  std::string path_;
  std::string temp_path_;  // empty once committed or moved from
  int fd_ = -1;
};

}  // namespace quillrank
