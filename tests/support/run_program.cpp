#include "support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace quillrank::testing {

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& input,
                           bool error_to_terminal) {
  char pattern[] = "/tmp/quillrank-run-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  write_file(folder_ + "/in", input);

  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    environment[text.substr(0, equals)] =
        equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  for (const auto& [name, value] : env) environment[name] = value;
  std::vector<std::string> env_texts;
  for (const auto& [name, value] : environment) env_texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : env_texts) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<std::string> arg_texts{program};
  arg_texts.insert(arg_texts.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : arg_texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, (folder_ + "/in").c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (folder_ + "/out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (error_to_terminal) {
    terminal_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    posix_spawn_file_actions_addopen(&actions, 2, ptsname(terminal_), O_RDWR | O_NOCTTY, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, (folder_ + "/err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (terminal_ >= 0) ::close(terminal_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void ChildProgram::signal(int number) const { ::kill(pid_, number); }

ProgramRun ChildProgram::wait() {
  ProgramRun run;
  int status = 0;
  if (waitpid(pid_, &status, 0) == pid_) {
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_ = -1;
  run.out = read_file(folder_ + "/out");
  if (terminal_ < 0) {
    run.err = read_file(folder_ + "/err");
    return run;
  }
  // What the child wrote to the terminal stays readable on the master side until it is drained.
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal_, buffer, sizeof buffer)) > 0;) run.err.append(buffer, n);
  return run;
}

}  // namespace quillrank::testing
