#include "app/run_end_command.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "history/movement.h"
#include "history/rank_history.h"
#include "text/text_codec.h"

extern char** environ;

namespace quillrank {
namespace {

std::string json_text(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string json_list(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (const std::string& text : texts) out += (out.size() > 1 ? "," : "") + json_text(text);
  return out + "]";
}

// The environment with the run's and the project's names set, built before the fork (the child
// of a threaded program may only call what is async-signal-safe).
std::vector<std::string> child_environment(const RunSummary& summary) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("QUILLRANK_RUN_ID=") && !text.starts_with("QUILLRANK_PROJECT=")) {
      env.emplace_back(text);
    }
  }
  env.push_back("QUILLRANK_RUN_ID=" + (summary.run_id ? std::to_string(*summary.run_id) : ""));
  env.push_back("QUILLRANK_PROJECT=" + summary.project);
  return env;
}

}  // namespace

RunSummary summarize_run(const RunResults& results, const Engines& engines,
                         const EngineTicks& ticks, const PreviousRank& previous) {
  RunSummary summary;
  summary.rows = results.row_count();
  for (std::size_t engine = 0; engine < ticks.size() && engine < engines.size(); ++engine) {
    if (!ticks[engine]) continue;
    summary.engines.push_back(engines[engine].key);
    bool blocked = false;
    for (int row = 0; row < summary.rows; ++row) {
      const EngineCell cell = results.cell(row, engine);
      if (cell.state != CellState::done) continue;
      blocked = blocked || cell.result.verdict == Verdict::blocked;
      if (cell.result.rank > 0) ++summary.ranked;
      switch (result_movement(cell.result, previous(row, engine)).kind) {
        case Movement::Kind::up:
          ++summary.up;
          break;
        case Movement::Kind::down:
          ++summary.down;
          break;
        case Movement::Kind::new_rank:
          ++summary.new_ranks;
          break;
        case Movement::Kind::lost:
          ++summary.lost;
          break;
        case Movement::Kind::none:
          break;
      }
    }
    if (blocked) summary.blocked.push_back(engines[engine].key);
  }
  return summary;
}

RunSummary summarize_recorded_run(const RunResults& results, const Engines& engines,
                                  const EngineTicks& ticks, const std::string& history,
                                  std::optional<std::int64_t> started, const std::string& source,
                                  RunSummary run) {
  std::unique_ptr<RankHistory> store;
  const RunRows rows = results.rows();
  if (started && !history.empty()) {
    try {
      store = open_history_for_reading(history, 5000);
    } catch (const std::exception&) {
      // No moves and no run id: the writer has said what is wrong with the database.
    }
  }
  const auto previous = [&](int row, std::size_t engine) -> std::optional<int> {
    if (!store) return std::nullopt;
    return store
        ->past_ranks(gbk_to_utf8((*rows)[row].site), gbk_to_utf8((*rows)[row].keyword),
                     engines[engine].key, *started)
        .previous;
  };
  RunSummary counted = summarize_run(results, engines, ticks, previous);
  counted.project = std::move(run.project);
  counted.completed = run.completed;
  if (store) counted.run_id = recorded_run_id(*store, *started, source, counted.project);
  return counted;
}

std::optional<std::int64_t> recorded_run_id(RankHistory& store, std::int64_t started,
                                            const std::string& source, const std::string& project) {
  std::optional<std::int64_t> id;
  for (const RunRow& run : store.runs(project)) {
    if (run.started_ms == started && run.source == source) id = run.id;
  }
  return id;
}

std::string run_summary_json(const RunSummary& summary) {
  const auto number = [](const char* key, int value) {
    return ",\"" + std::string(key) + "\":" + std::to_string(value);
  };
  return "{\"run_id\":" + (summary.run_id ? std::to_string(*summary.run_id) : "null") +
         ",\"project\":" + json_text(summary.project) +
         ",\"completed\":" + (summary.completed ? "true" : "false") +
         ",\"engines\":" + json_list(summary.engines) + number("rows", summary.rows) +
         number("ranked", summary.ranked) + number("up", summary.up) +
         number("down", summary.down) + number("new", summary.new_ranks) +
         number("lost", summary.lost) + ",\"blocked\":" + json_list(summary.blocked) + "}\n";
}

std::optional<std::string> run_end_command(const std::string& command, const RunSummary& summary,
                                           std::chrono::milliseconds limit, std::stop_token stop) {
  const std::string json = run_summary_json(summary);
  std::vector<std::string> env = child_environment(summary);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // A socket rather than a pipe: a command that never reads its input cannot end this program
  // with SIGPIPE (send's MSG_NOSIGNAL).
  int input[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
    return std::string("cannot start it: ") + std::strerror(errno);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);  // its own group, so a time-out ends what it started too
    dup2(input[1], STDIN_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execle("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr), envp.data());
    _exit(127);
  }
  close(input[1]);
  if (pid < 0) {
    close(input[0]);
    return std::string("cannot start it: ") + std::strerror(errno);
  }
  // The summary is far smaller than a socket's buffer: this never waits on the command.
  [[maybe_unused]] const ssize_t sent = send(input[0], json.data(), json.size(), MSG_NOSIGNAL);
  close(input[0]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    const bool late = std::chrono::steady_clock::now() >= deadline;
    if (late || stop.stop_requested()) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      if (!late) return std::string("it was stopped as the program closed");
      return "it was still going after " + std::to_string(limit.count() / 1000.0).substr(0, 4) +
             " s and was stopped";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
    return "it could not be started (status 127)";
  if (WIFEXITED(status)) return "it exited with status " + std::to_string(WEXITSTATUS(status));
  return "it was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace quillrank
