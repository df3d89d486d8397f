// The command line of quillrank-batch.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "engines/engines.h"

namespace CLI {
class App;
}

namespace quillrank {

inline constexpr const char* kBatchVersion = "1.2";
// What --check asks each engine: a common word every engine has many results for (天气).
inline constexpr const char* kDefaultCheckKeyword = "\xE5\xA4\xA9\xE6\xB0\x94";

// A time of day a schedule runs at.
struct ScheduleTime {
  int hour = 0;
  int minute = 0;
};

struct BatchOptions {
  // The engines to ask, by key (lower case), "all" for every one; checked against the
  // settings' engines by resolve_engines.
  std::vector<std::string> engines{"baidu", "google"};
  bool engines_given = false;  // -e was on the command line (over a project's engines)
  std::string output;          // empty: standard output
  std::string input = "-";     // "-": standard input
  bool csv = false;
  bool details = false;       // one column per chosen engine saying why its cell reads as it does
  std::string config;         // the settings file; empty: the user's own
  std::string save_pages;     // a folder for every page the engines sent, and their index
  bool print_config = false;  // print the effective settings as TOML instead of ranking
  std::string history;        // the rank history's database over the settings file's; empty: its
  bool no_history = false;    // record nothing in the rank history
  std::optional<ProfileSet> profiles;  // the built-in profile set, over the settings file's
  bool check = false;                  // ask each chosen engine one query and report on it
  std::string check_keyword = kDefaultCheckKeyword;  // UTF-8
  // The shared queue in a PostgreSQL history (--history postgresql://...):
  std::string enqueue;               // queue this keyword list's rows and print the run's id
  bool work = false;                 // rank queued rows until none is open
  std::optional<std::int64_t> wait;  // print this queued run's table once it is done
  double lease = 60;                 // seconds a worker's claim lasts unless renewed
  std::string project;               // rank this saved project instead of an input
  std::string save_project;          // save the input as this project instead of ranking it
  // --schedule NAME daily HH:MM, and --unschedule NAME
  std::optional<std::pair<std::string, ScheduleTime>> schedule;
  std::string unschedule;
  std::vector<std::string> rename_project;  // --rename-project OLD NEW: empty, or the two names
  std::string delete_project;
  // Over the settings file, for every engine:
  std::optional<std::pair<double, double>> delay;
  std::optional<int> retries;
  std::optional<double> block_pause;
};

// What the command line asks for: a run, a text to print before exiting 0 (--help,
// --version), or a one-line message saying what is wrong (exit 2, with the usage).
struct PrintAndExit {
  std::string text;
};
struct UsageError {
  std::string message;
};
using BatchCommand = std::variant<BatchOptions, PrintAndExit, UsageError>;

BatchCommand parse_batch_options(const std::vector<std::string>& args);

// Parses `args` into `app` (whose options are described) as the programs all do: nullopt when
// the options are to be used, else what --help or --version print (`program` and the version)
// or the error.
std::optional<std::variant<PrintAndExit, UsageError>> parse_command_line(
    CLI::App& app, const std::vector<std::string>& args, const std::string& program);

// The ticks of `names` (keys, or "all") over `engines`; or what is wrong ("unknown engine ...").
std::variant<EngineTicks, std::string> resolve_engines(const std::vector<std::string>& names,
                                                       const Engines& engines);

// One line of usage, for errors.
std::string batch_usage();

}  // namespace quillrank
