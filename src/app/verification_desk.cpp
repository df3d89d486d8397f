#include "app/verification_desk.h"

#include <algorithm>

namespace quillrank {

std::list<VerificationDesk::Entry>::iterator VerificationDesk::find(int id) {
  return std::find_if(entries_.begin(), entries_.end(),
                      [id](const Entry& entry) { return entry.asked.id == id; });
}

bool VerificationDesk::wait(std::size_t engine, const Verification& verification,
                            std::stop_token stop) {
  int id = 0;
  {
    MutexLock lock(mutex_);
    id = next_id_++;
    entries_.push_back(
        {{id, engine, std::string(verification.url), std::string(verification.member)},
         std::nullopt});
  }
  if (changed_) changed_();
  bool passed = false;
  {
    // Taken under the lock, so a stop requested between the test and the wait is not missed.
    // Made before the lock is held: it runs at once when the stop was requested already.
    std::stop_callback wake(stop, [this] {
      MutexLock lock(mutex_);
      answered_.notify_all();
    });
    MutexLock lock(mutex_);
    auto entry = find(id);
    while (!entry->passed && !stop.stop_requested()) {
      answered_.wait(mutex_);
      entry = find(id);
    }
    passed = entry->passed.value_or(false) && !stop.stop_requested();
    entries_.erase(entry);
  }
  if (changed_) changed_();
  return passed;
}

std::vector<PendingVerification> VerificationDesk::pending() const {
  std::vector<PendingVerification> waiting;
  MutexLock lock(mutex_);
  for (const Entry& entry : entries_) {
    if (!entry.passed) waiting.push_back(entry.asked);
  }
  return waiting;
}

void VerificationDesk::answer(int id, bool passed) {
  {
    MutexLock lock(mutex_);
    const auto entry = find(id);
    if (entry == entries_.end() || entry->passed) return;
    entry->passed = passed;
  }
  answered_.notify_all();
}

}  // namespace quillrank
