#include "app/batch/batch_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "engines/engines.h"
#include "settings/settings.h"

namespace quillrank {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "baidu,Google" to lower-case keys; an empty name is an error.
std::variant<std::vector<std::string>, std::string> engine_names(const std::string& list) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  while (begin <= list.size()) {
    const std::size_t comma = std::min(list.find(',', begin), list.size());
    names.push_back(lower(list.substr(begin, comma - begin)));
    if (names.back().empty()) return "-e: an empty engine name in '" + list + "'";
    begin = comma + 1;
  }
  return names;
}

}  // namespace

std::variant<EngineTicks, std::string> resolve_engines(const std::vector<std::string>& names,
                                                       const Engines& engines) {
  EngineTicks ticked(engines.size(), false);
  for (const std::string& name : names) {
    if (name == "all") {
      ticked.assign(engines.size(), true);
    } else if (const std::optional<std::size_t> engine = engine_index(engines, name)) {
      ticked[*engine] = true;
    } else {
      return "unknown engine '" + name + "' (use " + engine_keys(engines) + ", or all)";
    }
  }
  return ticked;
}

namespace {

// "HH:MM" (00:00 to 23:59), or nullopt.
std::optional<ScheduleTime> schedule_time(const std::string& text) {
  const auto digit = [&text](std::size_t at) { return text[at] >= '0' && text[at] <= '9'; };
  if (text.size() != 5 || text[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4)) {
    return std::nullopt;
  }
  const ScheduleTime time{(text[0] - '0') * 10 + (text[1] - '0'),
                          (text[3] - '0') * 10 + (text[4] - '0')};
  if (time.hour > 23 || time.minute > 59) return std::nullopt;
  return time;
}

struct RawOptions {
  std::string engines = "baidu,google";
  std::string delay;
  std::string profiles;
  std::vector<std::string> schedule;
  CLI::Option* engines_option = nullptr;
};

void describe_projects(CLI::App& app, BatchOptions& options, RawOptions& raw, CLI::Option* input) {
  auto* project = app.add_option("--project", options.project,
                                 "rank the saved project NAME (its list, and its engines unless "
                                 "-e is given); one run of a project at a time");
  auto* save = app.add_option("--save-project", options.save_project,
                              "save the input list (and -e's engines) as the project NAME in "
                              "$XDG_DATA_HOME/quillrank/projects, instead of ranking it");
  auto* schedule = app.add_option("--schedule", raw.schedule,
                                  "NAME daily HH:MM: rank the project NAME every day at that time "
                                  "(a systemd user timer; without systemd, print a crontab line)")
                       ->expected(3);
  auto* unschedule =
      app.add_option("--unschedule", options.unschedule, "remove the project NAME's schedule");
  auto* rename = app.add_option("--rename-project", options.rename_project,
                                "OLD NEW: rename the project OLD (its history follows it)")
                     ->expected(2);
  auto* remove = app.add_option("--delete-project", options.delete_project,
                                "delete the project NAME's list and settings (its history stays)");
  project->excludes(save)->excludes(schedule)->excludes(unschedule)->excludes(input);
  save->excludes(schedule)->excludes(unschedule);
  schedule->excludes(unschedule)->excludes(input);
  unschedule->excludes(input);
  for (CLI::Option* other : {project, save, schedule, unschedule, input}) {
    rename->excludes(other);
    remove->excludes(other);
  }
  rename->excludes(remove);
}

void describe(CLI::App& app, BatchOptions& options, RawOptions& raw) {
  std::string& engines = raw.engines;
  std::string& delay = raw.delay;
  std::string& profiles = raw.profiles;
  app.description(
      "Ranks a keyword list (site|keyword lines, [site] entries expanded) on the chosen search "
      "engines, as the window's start button does, and writes the final table as UTF-8.");
  app.set_version_flag("--version", std::string("quillrank-batch ") + kBatchVersion);
  raw.engines_option =
      app.add_option("-e,--engines", engines,
                     "engines to ask, by key (any case): baidu, google, sogou, soso, those the "
                     "profile set and the settings file add (--print-config lists them), or all")
          ->capture_default_str();
  app.add_option("-o,--output", options.output,
                 "write the table to this file (whole, or not at all) instead of standard output");
  app.add_flag("--csv", options.csv,
               "RFC 4180 CSV with a UTF-8 byte order mark instead of tab-separated text");
  app.add_flag("--details", options.details,
               "add a column per chosen engine saying why its cell reads as it does");
  app.add_option("--config", options.config,
                 "settings file (default: $XDG_CONFIG_HOME/quillrank/quillrank.toml)");
  app.add_option("--save-pages", options.save_pages,
                 "write every page the engines sent to this folder, as <engine>-<row>-<page>.html, "
                 "with an index.tsv (engine, row, page, URL, HTTP status, final URL, verdict, "
                 "reason)");
  app.add_flag("--print-config", options.print_config,
               "print the settings a run would use (the settings file and these options over "
               "the built-in ones, all four engine profiles included) as a commented TOML file, "
               "and exit");
  auto* history = app.add_option("--history", options.history,
                                 "the rank history to record this run in: a database file or "
                                 "a postgresql:// URL (default: the settings file's "
                                 "history_url or history_path, else "
                                 "$XDG_DATA_HOME/quillrank/history.sqlite3)");
  app.add_flag("--no-history", options.no_history, "record nothing in the rank history")
      ->excludes(history);
  app.add_option("--delay", delay,
                 "seconds between two requests of one engine: N, or MIN-MAX for a random pause "
                 "(default: the settings file's, else 0)");
  app.add_option("--retries", options.retries,
                 "further tries of a failed fetch, with backoff (default: the settings file's, "
                 "else 1)")
      ->check(CLI::Range(0, 10));
  app.add_option("--block-pause", options.block_pause,
                 "after a block, wait this many seconds and ask once more (default: the "
                 "settings file's, else 0: the engine stops)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            // A NaN passes every range test by comparing false: refuse what is no finite number.
            const std::optional<std::pair<double, double>> seconds = parse_delay(text);
            return seconds && seconds->first == seconds->second ? std::string()
                                                                : "must be 0 to 3600 seconds";
          },
          "0..3600"));
  app.add_option("--profiles", profiles,
                 "the built-in engine profiles: current (today's pages, as a browser asks for "
                 "them) or classic (the old pages and client); over the settings file's, which "
                 "otherwise says, else current")
      ->check(CLI::IsMember({"current", "classic"}));
  app.add_flag("--check", options.check,
               "ask each chosen engine one query and print, per engine, the HTTP status, final "
               "address, verdict and reason, the result links found, the first three and the time "
               "taken; exit 0 when every engine gave a result page, else 1");
  app.add_option("--check-keyword", options.check_keyword, "the query --check asks")
      ->capture_default_str();
  auto* enqueue =
      app.add_option("--enqueue", options.enqueue,
                     "queue this keyword list's rows for the chosen engines in the shared history "
                     "(--history postgresql://...) and print the run's id; workers rank them");
  auto* work = app.add_flag(
      "--work", options.work,
      "rank the shared queue's rows with this machine's settings, engine by engine, until no "
      "row of its engines is left");
  auto* wait = app.add_option("--wait", options.wait,
                              "print the table of this queued run once every row is ranked");
  enqueue->excludes(work)->excludes(wait);
  work->excludes(wait);
  app.add_option("--lease", options.lease,
                 "seconds a worker's claim on a row lasts unless it renews it; a worker that "
                 "stops loses its rows to the others after that")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
  auto* input = app.add_option("input", options.input, "the keyword list; - for standard input")
                    ->capture_default_str();
  describe_projects(app, options, raw, input);
}

}  // namespace

std::string batch_usage() {
  return "usage: quillrank-batch [-e ENGINES] [-o FILE] [--csv] [--details] [--config FILE] "
         "[--save-pages DIR] [--print-config] [--history FILE|--no-history] [--delay N|MIN-MAX] "
         "[--retries N] [--block-pause S] [--profiles current|classic] "
         "[--check [--check-keyword WORD]] [--enqueue FILE|--work|--wait RUN [--lease S]] "
         "[FILE|-|--project NAME]  "
         "[--save-project NAME FILE] [--schedule NAME daily HH:MM] [--unschedule NAME] "
         "[--rename-project OLD NEW] [--delete-project NAME]  (--help for more)";
}

std::optional<std::variant<PrintAndExit, UsageError>> parse_command_line(
    CLI::App& app, const std::vector<std::string>& args, const std::string& program) {
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return PrintAndExit{app.help()};
  } catch (const CLI::CallForVersion&) {
    return PrintAndExit{program + " " + kBatchVersion + "\n"};
  } catch (const CLI::ParseError& error) {
    return UsageError{error.what()};
  }
  return std::nullopt;
}

BatchCommand parse_batch_options(const std::vector<std::string>& args) {
  BatchOptions options;
  RawOptions raw;
  CLI::App app("", "quillrank-batch");
  describe(app, options, raw);
  if (auto done = parse_command_line(app, args, "quillrank-batch")) {
    return std::visit([](auto& answer) -> BatchCommand { return answer; }, *done);
  }
  options.engines_given = raw.engines_option->count() > 0;
  for (const auto& [name, value] : {std::pair{"--project", &options.project},
                                    std::pair{"--save-project", &options.save_project},
                                    std::pair{"--unschedule", &options.unschedule},
                                    std::pair{"--delete-project", &options.delete_project}}) {
    if (app.get_option(name)->count() > 0 && value->empty()) {
      return UsageError{std::string(name) + ": a project name cannot be empty"};
    }
  }
  if (!raw.schedule.empty()) {
    const std::optional<ScheduleTime> time = schedule_time(raw.schedule[2]);
    if (raw.schedule[1] != "daily" || !time) {
      return UsageError{"--schedule: use NAME daily HH:MM (00:00 to 23:59)"};
    }
    options.schedule.emplace(raw.schedule[0], *time);
  }
  const std::string& profiles = raw.profiles;
  const std::string& delay = raw.delay;
  auto names = engine_names(raw.engines);
  if (auto* error = std::get_if<std::string>(&names)) return UsageError{*error};
  options.engines = std::get<std::vector<std::string>>(names);
  if (!profiles.empty()) options.profiles = profile_set_named(profiles);
  if (!delay.empty()) {
    options.delay = parse_delay(delay);
    if (!options.delay) return UsageError{"--delay: use N or MIN-MAX seconds, 0 to 3600"};
  }
  if (!options.enqueue.empty()) options.input = options.enqueue;
  return options;
}

}  // namespace quillrank
