// Mutex and MutexLock: std::mutex with clang's thread-safety annotations, so that a member
// marked GUARDED_BY(mutex_) is only touched with the lock held, checked at compile time by
// clang's -Wthread-safety (other compilers ignore the annotations).
#pragma once

#include <mutex>

#if defined(__clang__)
#define QUILLRANK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUILLRANK_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) QUILLRANK_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY QUILLRANK_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(mutex) QUILLRANK_THREAD_ANNOTATION(guarded_by(mutex))
#define REQUIRES(...) QUILLRANK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QUILLRANK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QUILLRANK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUILLRANK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace quillrank {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace quillrank
