#include "app/run_end_notifier.h"

namespace quillrank {

RunEndNotifier::~RunEndNotifier() {
  closing_.request_stop();
  if (last_.joinable()) last_.join();
}

void RunEndNotifier::notify(RunSummary summary) {
  if (command_.empty()) return;
  last_ = std::jthread([this, before = std::move(last_), command = command_,
                        summary = std::move(summary), stop = closing_.get_token()]() mutable {
    if (before.joinable()) before.join();  // one command at a time, in the runs' order
    if (const std::optional<std::string> failed =
            run_end_command(command, summary, kRunEndCommandLimit, stop)) {
      failed_(*failed);
    }
  });
}

}  // namespace quillrank
