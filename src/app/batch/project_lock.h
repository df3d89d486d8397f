// One run of a project at a time: an exclusive flock on run.lock in the project's folder, held
// while quillrank-batch --project ranks it (a schedule that fires while a run still goes).
#pragma once

#include <optional>
#include <string>
#include <variant>

namespace quillrank {

class ProjectLock {
 public:
  enum class Refusal { held, failed };
  // The lock, or why not: held by another run, or the lock file cannot be opened (`why` says).
  static std::variant<ProjectLock, Refusal> take(const std::string& folder, std::string& why);

  ProjectLock(ProjectLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ProjectLock& operator=(ProjectLock&&) = delete;
  ~ProjectLock();

 private:
  explicit ProjectLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace quillrank
