#include "app/batch/schedule.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "projects/project_store.h"

extern char** environ;

namespace quillrank {
namespace {

// One word of an ExecStart= or Environment= line: quoted, with systemd's specifiers (%) and
// variables ($) kept literal.
std::string systemd_word(std::string_view text) {
  std::string word = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') word += '\\';
    if (c == '%' || c == '$') word += c;
    word += c;
  }
  return word + "\"";
}

// A word for /bin/sh in single quotes.
std::string shell_word(std::string_view text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

std::string two_digits(int n) {
  char text[3];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string described(const ScheduledRun& run) {
  std::string name;
  for (const char c : run.project) name += c == '%' ? std::string("%%") : std::string(1, c);
  return "Quillrank: rank the project " + name;
}

std::vector<std::string> run_arguments(const ScheduledRun& run) {
  return {run.program, "--project", run.project, "-o", run.output};
}

// Runs `program` with `args` and waits; its exit status, or -1 when it could not start.
int run_and_wait(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // The child gets the signals this program takes on a thread of its own (see batch_main).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> systemctl(const std::string& program,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> all{"--user"};
  all.insert(all.end(), args.begin(), args.end());
  if (run_and_wait(program, all) == 0) return std::nullopt;
  std::string line = "systemctl";
  for (const std::string& arg : all) line += " " + arg;
  return line + " failed";
}

}  // namespace

std::string schedule_unit_name(std::string_view project) {
  std::string name = "quillrank-";
  for (const char c : project) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (plain) {
      name += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "_%02x", static_cast<unsigned char>(c));
      name += hex;
    }
  }
  return name;
}

std::string service_unit_text(const ScheduledRun& run) {
  std::string text = "[Unit]\nDescription=" + described(run) +
                     "\n\n[Service]\nType=oneshot\n"
                     "# What the run prints goes to the journal: journalctl --user -u " +
                     schedule_unit_name(run.project) + "\n";
  for (const auto& [name, value] : run.environment) {
    text += "Environment=" + systemd_word(name + "=" + value) + "\n";
  }
  text += "ExecStart=";
  for (const std::string& arg : run_arguments(run)) text += systemd_word(arg) + " ";
  text.back() = '\n';
  return text;
}

std::string timer_unit_text(const ScheduledRun& run, ScheduleTime time) {
  return "[Unit]\nDescription=" + described(run) + ", daily at " + two_digits(time.hour) + ":" +
         two_digits(time.minute) + "\n\n[Timer]\nOnCalendar=*-*-* " + two_digits(time.hour) + ":" +
         two_digits(time.minute) +
         ":00\nPersistent=true\n\n[Install]\n"
         "WantedBy=timers.target\n";
}

std::string crontab_line(const ScheduledRun& run, ScheduleTime time) {
  std::string line = std::to_string(time.minute) + " " + std::to_string(time.hour) + " * * *";
  for (const auto& [name, value] : run.environment) line += " " + name + "=" + shell_word(value);
  for (const std::string& arg : run_arguments(run)) line += " " + shell_word(arg);
  line += " >> " + shell_word(run.log) + " 2>&1";
  // cron turns a bare % into a line break.
  std::string escaped;
  for (const char c : line) escaped += c == '%' ? std::string("\\%") : std::string(1, c);
  return escaped;
}

std::string systemd_user_folder() {
  return xdg_folder("XDG_CONFIG_HOME", ".config", "systemd/user");
}

std::string find_on_path(std::string_view name) {
  const char* path = std::getenv("PATH");
  const std::string_view folders = path ? path : "";
  for (std::size_t begin = 0; begin <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', begin), folders.size());
    const std::string folder(folders.substr(begin, end - begin));
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + std::string(name);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    begin = end + 1;
  }
  return {};
}

std::optional<std::string> install_schedule(const ScheduledRun& run, ScheduleTime time,
                                            std::string& out) {
  const std::string program = find_on_path("systemctl");
  if (program.empty()) {
    out += "No systemctl on the PATH: add this line to your crontab (crontab -e):\n" +
           crontab_line(run, time) + "\n";
    return std::nullopt;
  }
  const std::string folder = systemd_user_folder();
  if (folder.empty()) return "neither XDG_CONFIG_HOME nor HOME is set";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string unit = folder + "/" + schedule_unit_name(run.project);
  if (error || !replace_file(unit + ".service", service_unit_text(run)) ||
      !replace_file(unit + ".timer", timer_unit_text(run, time))) {
    return "cannot write the units in " + folder;
  }
  const std::string timer = schedule_unit_name(run.project) + ".timer";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"daemon-reload"}, {"enable", "--now", timer}}) {
    if (auto failed = systemctl(program, args)) {
      // No user session (a bus) to talk to, say: the units stay for a later enable; cron may
      // serve instead.
      out += "The units are written in " + folder + "; without a systemd user session, this " +
             "crontab line (crontab -e) runs the project instead:\n" + crontab_line(run, time) +
             "\n";
      return failed;
    }
  }
  out += "Scheduled: " + unit + ".timer runs the project daily at " + two_digits(time.hour) + ":" +
         two_digits(time.minute) + " (journalctl --user -u " + schedule_unit_name(run.project) +
         " shows its runs)\n";
  return std::nullopt;
}

bool has_schedule_timer(std::string_view project) {
  std::error_code error;
  return std::filesystem::exists(
      systemd_user_folder() + "/" + schedule_unit_name(project) + ".timer", error);
}

std::optional<std::string> remove_schedule(const ScheduledRun& run, std::string& out) {
  const std::string program = find_on_path("systemctl");
  if (program.empty()) {
    out += "No systemctl on the PATH: remove the line with '--project' " + shell_word(run.project) +
           " from your crontab (crontab -e)\n";
    return std::nullopt;
  }
  const std::string unit = systemd_user_folder() + "/" + schedule_unit_name(run.project);
  std::error_code error;
  if (!std::filesystem::exists(unit + ".timer", error)) {
    return "the project has no schedule (no " + unit + ".timer)";
  }
  const std::string timer = schedule_unit_name(run.project) + ".timer";
  if (auto failed = systemctl(program, {"disable", "--now", timer})) return failed;
  std::filesystem::remove(unit + ".timer", error);
  std::filesystem::remove(unit + ".service", error);
  if (auto failed = systemctl(program, {"daemon-reload"})) return failed;
  out += "Unscheduled: removed " + unit + ".timer and .service\n";
  return std::nullopt;
}

}  // namespace quillrank
