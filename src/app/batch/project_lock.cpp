#include "app/batch/project_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillrank {

std::variant<ProjectLock, ProjectLock::Refusal> ProjectLock::take(const std::string& folder,
                                                                  std::string& why) {
  const std::string path = folder + "/run.lock";
  // Close-on-exec: a command started when the run ends must not keep the project locked.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = "cannot open " + path + ": " + std::strerror(errno);
    return Refusal::failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    why = held ? "another run of this project is going" : std::string(std::strerror(errno));
    close(fd);
    return held ? Refusal::held : Refusal::failed;
  }
  return ProjectLock(fd);
}

ProjectLock::~ProjectLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

}  // namespace quillrank
