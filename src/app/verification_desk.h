// VerificationDesk: the verifications a run's engines wait for a person to pass. A blocked pool
// member lists its verification and waits on its own thread; the host (the window) lists them,
// lets a person pass one and answers it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engines/engine_worker.h"
#include "text/mutex.h"

namespace quillrank {

// One verification an engine waits for.
struct PendingVerification {
  int id = 0;              // unique for the desk's lifetime
  std::size_t engine = 0;  // the engine's index
  std::string url;         // the address the engine blocked
  std::string member;      // the pool member it blocked (its name; empty: the only one)

  bool operator==(const PendingVerification&) const = default;
};

class VerificationDesk {
 public:
  // `changed` hears, on the thread of the member that waits, that a verification was listed or
  // left the list.
  explicit VerificationDesk(std::function<void()> changed) : changed_(std::move(changed)) {}

  // Lists the verification and waits until it is answered (the answer) or `stop` is requested
  // (false, at once); it leaves the list either way.
  bool wait(std::size_t engine, const Verification& verification, std::stop_token stop);

  // The verifications waiting for an answer, the first listed first.
  std::vector<PendingVerification> pending() const;

  // Answers verification `id`; one that is not waiting (answered, stopped) is left alone.
  void answer(int id, bool passed);

 private:
  struct Entry {
    PendingVerification asked;
    std::optional<bool> passed;
  };
  // The entry with `id`; end() when there is none.
  std::list<Entry>::iterator find(int id) REQUIRES(mutex_);

  const std::function<void()> changed_;
  mutable Mutex mutex_;
  std::condition_variable_any answered_;
  std::list<Entry> entries_ GUARDED_BY(mutex_);
  int next_id_ GUARDED_BY(mutex_) = 1;
};

}  // namespace quillrank
