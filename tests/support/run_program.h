// Runs a built program as a child process with files for its standard streams, for end-to-end
// tests of command-line programs.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace quillrank::testing {

struct ProgramRun {
  int exit_code = -1;  // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

class ChildProgram {
 public:
  // Starts `program` with `args`, the environment plus `env`, and `input` on standard input;
  // standard error goes to a pseudo-terminal when `error_to_terminal`.
  ChildProgram(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const std::string& input,
               bool error_to_terminal = false);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int number) const;
  ProgramRun wait();  // waits for the end and reads what it wrote

 private:
  std::string folder_;
  int terminal_ = -1;  // the pseudo-terminal's master side, or -1
  pid_t pid_ = -1;
};

inline ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env = {},
                              const std::string& input = "") {
  return ChildProgram(program, args, env, input).wait();
}

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace quillrank::testing
