// Tells the on_run_end command of each finished run without making its caller wait: each command
// runs on a thread of its own, after the one before has ended, and the notifier's end stops
// (kills) a command still going. For the window, whose runs end while the person works on.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "app/run_end_command.h"

namespace quillrank {

class RunEndNotifier {
 public:
  // Hears what went wrong with a command, in English, on the command's thread.
  using Failed = std::function<void(const std::string& why)>;
  explicit RunEndNotifier(Failed failed) : failed_(std::move(failed)) {}
  ~RunEndNotifier();  // stops a command that goes on and waits for it
  RunEndNotifier(const RunEndNotifier&) = delete;
  RunEndNotifier& operator=(const RunEndNotifier&) = delete;

  // The command (empty: none). Set it while no run goes on.
  void set_command(std::string command) { command_ = std::move(command); }
  const std::string& command() const { return command_; }

  // Runs the command with `summary` on its standard input; returns at once. Calls must not
  // overlap one another or the notifier's end.
  void notify(RunSummary summary);

 private:
  std::string command_;
  Failed failed_;
  std::stop_source closing_;
  std::jthread last_;  // the last command's thread; it waits for the one before
};

}  // namespace quillrank
