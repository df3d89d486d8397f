// quillrank-batch: ranks a keyword list on the chosen engines without a window, exactly as the
// start button does, and writes the final table as UTF-8 text.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <mutex>
#include <thread>
#include <tuple>

#include "app/batch/batch_options.h"
#include "app/batch/batch_output.h"
#include "app/batch/engine_check.h"
#include "app/batch/output_file.h"
#include "app/batch/project_lock.h"
#include "app/batch/saved_pages.h"
#include "app/batch/schedule.h"
#include "app/batch/shared_queue.h"
#include "app/program_browser.h"
#include "app/run_end_command.h"
#include "app/run_session.h"
#include "engines/engine_client.h"
#include "history/history_store.h"
#include "history/run_recorder.h"
#include "keywords/keyword_file.h"
#include "keywords/keyword_list.h"
#include "net/cookie_jar.h"
#include "net/page_fetcher.h"
#include "net/site_expansion.h"
#include "projects/project_store.h"
#include "settings/settings.h"
#include "settings/settings_toml.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

constexpr int kExitOutput = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
// Another run of the same project holds its lock (EX_TEMPFAIL: try again later).
constexpr int kExitProjectBusy = 75;

enum class InputRead { ok, failed, too_large };

// The whole input, up to the keyword list's size cap; failed when it could not be opened or a
// read failed (a folder, an I/O error). Never reads more than one byte past the cap, so an
// endless input (/dev/zero) is refused, not held.
InputRead read_input(const std::string& path, ByteBuffer& bytes) {
  std::ifstream file;
  if (path != "-") {
    file.open(path, std::ios::binary);
    if (!file) return InputRead::failed;
  }
  std::istream& in = path == "-" ? std::cin : file;
  char chunk[65536];
  while (bytes.size() <= kMaxKeywordFileBytes &&
         (in.read(chunk, sizeof chunk) || in.gcount() > 0)) {
    bytes.bytes.append(chunk, in.gcount());
  }
  if (in.bad() || (path == "-" && std::ferror(stdin))) return InputRead::failed;
  return bytes.size() > kMaxKeywordFileBytes ? InputRead::too_large : InputRead::ok;
}

// What the decoding had to leave out or guess, so that no mojibake is ranked in silence.
void report_decoding(const DecodedKeywordFile& decoded) {
  if (decoded.ended_at_zero) {
    std::cerr << "quillrank-batch: warning: the keyword list ends at its first zero byte; "
                 "the rest of the input is ignored\n";
  }
  if (decoded.unreadable > 0) {
    std::cerr << "quillrank-batch: warning: " << decoded.unreadable
              << " character(s) of the keyword list are neither valid UTF-8 nor valid GBK "
                 "(or have no GBK form) and read as \"?\"\n";
  }
}

// The input decoded, or nullopt once what is wrong is said on standard error.
std::optional<DecodedKeywordFile> read_keyword_input(const std::string& path) {
  ByteBuffer input;
  switch (read_input(path, input)) {
    case InputRead::ok:
      break;
    case InputRead::failed:
      std::cerr << "quillrank-batch: cannot read " << path << ": " << std::strerror(errno) << "\n";
      return std::nullopt;
    case InputRead::too_large:
      std::cerr << "quillrank-batch: " << path << " is larger than " << (kMaxKeywordFileBytes >> 20)
                << " MiB; no keyword list is that long\n";
      return std::nullopt;
  }
  DecodedKeywordFile decoded = decode_keyword_file(input);
  report_decoding(decoded);
  return decoded;
}

// The lines that hold no pair: one line each on standard error, so no row goes unseen.
void report_left_out(const KeywordList& list) {
  for (const ListLine& line : list.left_out) {
    std::cerr << "quillrank-batch: line " << line.number
              << " left out (not site|keyword): " << visible_text(gbk_to_utf8(line.text)) << "\n";
  }
  if (list.left_out_count > list.left_out.size()) {
    std::cerr << "quillrank-batch: " << list.left_out_count - list.left_out.size()
              << " more line(s) left out\n";
  }
}

// Ctrl-C and SIGTERM, taken on a thread of their own from the program's start. While the input
// is read and while the table is written (a read or a write may wait on a pipe) they end the
// program at once, removing the unfinished output file first; while the run goes, they stop
// the home-page fetches of the site-entry expansion and the workers, which then end cleanly.
class Interruption {
 public:
  Interruption() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    // Every thread started from here on inherits the block, so only the watcher takes them.
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::jthread([this](std::stop_token done) {
      const timespec tick{0, 50'000'000};
      while (!done.stop_requested()) {
        if (sigtimedwait(&signals_, nullptr, &tick) <= 0) continue;
        stop_.request_stop();
        if (exit_at_once_) {
          const std::lock_guard lock(mutex_);
          if (!remove_on_exit_.empty()) unlink(remove_on_exit_.c_str());
          _exit(kExitInterrupted);
        }
      }
    });
  }
  std::stop_token token() const { return stop_.get_token(); }
  bool interrupted() const { return stop_.stop_requested(); }

  // The file a signal that ends the program removes first.
  void remove_on_exit(std::string unfinished) {
    const std::lock_guard lock(mutex_);
    remove_on_exit_ = std::move(unfinished);
  }
  // Whether a signal ends the program at once (true) or stops the run (false).
  void exit_at_once(bool at_once) { exit_at_once_ = at_once; }

 private:
  sigset_t signals_;
  std::stop_source stop_;
  std::mutex mutex_;
  std::string remove_on_exit_;  // guarded by mutex_
  std::atomic<bool> exit_at_once_{true};
  std::jthread watcher_;
};

// The rows done per chosen engine, on one line of a terminal.
void print_progress(const RunSession& session, const EngineTicks& engines, int rows) {
  std::string line = "\r";
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    if (!engines[engine]) continue;
    line += session.engines()[engine].profile.name + " " +
            std::to_string(session.rows_done(engine)) + "/" + std::to_string(rows);
    // A pool's members: at work, resting after a block, out of the run.
    const RunSession::PoolCounts pool = session.pool_counts(engine);
    if (pool.working + pool.resting + pool.gone > 1) {
      line += " (" + std::to_string(pool.working) + " working, " + std::to_string(pool.resting) +
              " resting, " + std::to_string(pool.gone) + " gone)";
    }
    line += "  ";
  }
  std::cerr << line << "\033[K" << std::flush;
}

void clear_progress() { std::cerr << "\r\033[K" << std::flush; }

// The settings file (--config, else the user's own; a named file must exist) with the command
// line's pacing and history over it; or "file:line: what is wrong".
std::variant<Settings, std::string> batch_settings(const BatchOptions& options) {
  std::string path = options.config;
  std::error_code error;
  if (!path.empty() && !std::filesystem::exists(path, error)) {
    return "cannot read " + path + ": no such file";
  }
  if (path.empty()) path = default_settings_path();
  std::variant<Settings, std::string> loaded = path.empty()
                                                   ? parse_settings("", path, options.profiles)
                                                   : read_settings_file(path, options.profiles);
  if (auto* settings = std::get_if<Settings>(&loaded)) {
    for (Engine& engine : settings->engines) {
      EnginePacing& pacing = engine.pacing;
      if (options.delay) std::tie(pacing.delay_min, pacing.delay_max) = *options.delay;
      if (options.retries) pacing.retries = *options.retries;
      if (options.block_pause) pacing.block_pause = *options.block_pause;
    }
    if (options.no_history) settings->history = false;
    if (!options.history.empty()) {
      settings->history = true;
      settings->history_path = options.history;  // a file or a database URL
      settings->history_url.clear();
    }
  }
  return loaded;
}

// The rank history writer of this run, or none when the history is off. A database that
// cannot be used is said once on standard error; the run goes on without it.
std::unique_ptr<HistoryWriter> open_history(const Settings& settings) {
  const std::string path = chosen_history_path(settings.history, history_location(settings));
  if (path.empty()) return nullptr;
  return std::make_unique<HistoryWriter>(
      HistoryWriterOptions{.path = path}, [shown = shown_location(path)](const std::string& why) {
        std::cerr << "quillrank-batch: warning: the rank history " + shown +
                         " cannot be written (" + why + "); this run goes on without it\n"
                  << std::flush;
      });
}

bool needs_browser(const Engines& engines, const EngineTicks& ticks) {
  for (std::size_t index = 0; index < ticks.size(); ++index) {
    if (ticks[index] && engines[index].profile.fetch == FetchKind::browser) return true;
  }
  return false;
}

// --check: one query per member of each chosen engine's pool, all at once; a line each, in
// column order, "<engine> via <member>" when the pool has several. 0 when every member of every
// engine gave a result page.
int check_engines(const BatchOptions& options, const Settings& settings, const EngineTicks& ticks,
                  const WorkerSources& sources, const std::function<void()>& pause,
                  std::stop_token stop) {
  std::vector<std::future<EngineCheck>> checks;
  for (std::size_t index = 0; index < ticks.size(); ++index) {
    if (!ticks[index]) continue;
    const Engine& engine = settings.engines[index];
    for (PoolMember& member : pool_members(engine, sources)) {
      checks.push_back(std::async(std::launch::async, [&, member = std::move(member)] {
        EngineCheck check =
            check_engine(engine.profile, member.connect(), options.check_keyword, stop);
        if (!member.name.empty()) check.name += " via " + member.name;
        return check;
      }));
    }
  }
  bool all_results = true;
  for (auto& check : checks) {
    while (check.wait_for(std::chrono::seconds(0)) != std::future_status::ready) pause();
    const EngineCheck done = check.get();
    all_results = all_results && done.verdict == Verdict::result;
    std::cout << check_line(done) << "\n";
  }
  std::cout << std::flush;
  if (stop.stop_requested()) return kExitInterrupted;
  return all_results ? 0 : 1;
}

// Writes the table to the output file, or to standard output; `done` when it went out.
int write_table(const std::string& table, std::optional<OutputFile>& output_file,
                const std::string& output_name, int done) {
  if (!output_file) {
    if (write_all(STDOUT_FILENO, table)) return done;
    std::cerr << "quillrank-batch: cannot write the standard output: " << std::strerror(errno)
              << "\n";
    return kExitOutput;
  }
  if (const std::optional<std::string> error = output_file->commit(table)) {
    std::cerr << "quillrank-batch: cannot write " << output_name << ": " << *error << "\n";
    return kExitOutput;
  }
  return done;
}

constexpr int kQueueTimeoutMs = 10'000;
constexpr std::chrono::milliseconds kWaitPoll{250};

// --work: ranks queued rows with this machine's settings until none of its engines' is open.
int work_shared_queue(const BatchOptions& options, const Settings& settings, const std::string& url,
                      const WorkerSources& sources, const std::function<void()>& pause,
                      std::stop_token stop) {
  const QueueWork work{.url = url,
                       .owner = worker_name(),
                       .lease = std::chrono::milliseconds(static_cast<long>(options.lease * 1000)),
                       .idle_poll = std::chrono::milliseconds(250),
                       .timeout_ms = kQueueTimeoutMs};
  std::atomic<bool> failed{false};
  // Worked off this thread, which serves the browser meanwhile when an engine needs it.
  auto working = std::async(std::launch::async, [&] {
    return work_queue(work, settings.engines, sources, stop,
                      [&failed, shown = shown_location(url)](const std::string& why) {
                        failed = true;
                        std::cerr << "quillrank-batch: the shared queue " + shown + ": " + why +
                                         "\n"
                                  << std::flush;
                      });
  });
  while (working.wait_for(std::chrono::seconds(0)) != std::future_status::ready) pause();
  const int recorded = working.get();
  std::cerr << "quillrank-batch: " << recorded << " cell(s) ranked and recorded\n";
  if (stop.stop_requested()) return kExitInterrupted;
  return failed ? kExitOutput : 0;
}

// Tells the settings' on_run_end command of the run (`run`: its project and whether it
// completed). A failing command is said on standard error and changes nothing else.
void tell_run_end(const Settings& settings, const RunResults& results, const Engines& engines,
                  const EngineTicks& ticks, RunSummary run, std::optional<std::int64_t> started) {
  const RunSummary counted = summarize_recorded_run(
      results, engines, ticks, chosen_history_path(settings.history, history_location(settings)),
      started, "batch", std::move(run));
  if (const std::optional<std::string> failed = run_end_command(settings.on_run_end, counted)) {
    std::cerr << "quillrank-batch: warning: the on_run_end command failed: " << *failed << "\n";
  }
}

// --save-project: the input list (decoded as any keyword file) and the engines: -e's, else the
// project's own when it exists, else the default ones.
int save_project(const BatchOptions& options) {
  const ProjectStore store(default_projects_folder());
  std::optional<DecodedKeywordFile> decoded = read_keyword_input(options.input);
  if (!decoded) return kExitUsage;
  Project project{.name = options.save_project, .list = std::move(decoded->text)};
  if (!options.engines_given && store.exists(project.name)) {
    auto loaded = store.load(project.name);
    if (auto* existing = std::get_if<Project>(&loaded)) project.settings = existing->settings;
  } else {
    project.settings.engines = options.engines;
  }
  if (const std::optional<std::string> error = store.save(project)) {
    std::cerr << "quillrank-batch: --save-project: " << *error << "\n";
    return kExitUsage;
  }
  std::cerr << "quillrank-batch: saved the project " << project.name << " in "
            << store.folder_of(project.name) << "\n";
  return 0;
}

// --rename-project and --delete-project. A project with a timer keeps its name and files: the
// timer runs it by name. A renamed project's runs in the history follow it; a deleted one's stay.
int rename_or_delete_project(const BatchOptions& options, const Settings& settings) {
  const ProjectStore store(default_projects_folder());
  const bool renaming = !options.rename_project.empty();
  const std::string& name = renaming ? options.rename_project[0] : options.delete_project;
  const char* option = renaming ? "--rename-project" : "--delete-project";
  if (store.exists(name) && has_schedule_timer(name)) {
    std::cerr << "quillrank-batch: " << option << ": the project " << name
              << " is scheduled; remove its schedule first (--unschedule " << name << ")\n";
    return kExitUsage;
  }
  const std::optional<std::string> failed =
      renaming ? store.rename(name, options.rename_project[1]) : store.remove(name);
  if (failed) {
    std::cerr << "quillrank-batch: " << option << ": " << *failed << "\n";
    return kExitUsage;
  }
  if (!renaming) {
    std::cerr << "quillrank-batch: deleted the project " << name << " (its history stays)\n";
    return 0;
  }
  const std::string& to = options.rename_project[1];
  const std::string history = chosen_history_path(settings.history, history_location(settings));
  try {
    const int runs = rename_history_project(history, name, to, 5000);
    std::cerr << "quillrank-batch: renamed the project " << name << " to " << to << " and its "
              << runs << " recorded run(s)\n";
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "quillrank-batch: renamed the project " << name << " to " << to
              << ", but the rank history " << shown_location(history)
              << " could not follow: " << error.what() << "; its runs keep the name " << name
              << "\n";
    return kExitOutput;
  }
}

// --schedule and --unschedule of a saved project.
int schedule_project(const BatchOptions& options) {
  const ProjectStore store(default_projects_folder());
  const std::string& name = options.schedule ? options.schedule->first : options.unschedule;
  if (const std::string problem = project_name_problem(name); !problem.empty()) {
    std::cerr << "quillrank-batch: " << problem << "\n";
    return kExitUsage;
  }
  if (options.schedule && !store.exists(name)) {
    std::cerr << "quillrank-batch: --schedule: no project named '" << name
              << "' (save one with --save-project)\n";
    return kExitUsage;
  }
  std::error_code error;
  const std::string folder = store.folder_of(name);
  ScheduledRun run{.program = std::filesystem::read_symlink("/proc/self/exe", error).string(),
                   .project = name,
                   .output = folder + "/last.tsv",
                   .log = folder + "/run.log"};
  for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
    if (const char* value = std::getenv(variable); value && *value) {
      run.environment[variable] = value;
    }
  }
  std::string said;
  const std::optional<std::string> failed =
      options.schedule ? install_schedule(run, options.schedule->second, said)
                       : remove_schedule(run, said);
  std::cout << said << std::flush;
  if (!failed) return 0;
  std::cerr << "quillrank-batch: " << *failed << "\n";
  return kExitOutput;
}

int run(const std::vector<std::string>& args) {
  const BatchCommand command = parse_batch_options(args);
  if (const auto* print = std::get_if<PrintAndExit>(&command)) {
    std::cout << print->text << std::flush;
    return 0;
  }
  if (const auto* error = std::get_if<UsageError>(&command)) {
    std::cerr << "quillrank-batch: " << error->message << "\n" << batch_usage() << "\n";
    return kExitUsage;
  }
  const BatchOptions& options = std::get<BatchOptions>(command);
  Interruption interruption;
  const std::variant<Settings, std::string> settings = batch_settings(options);
  if (const auto* error = std::get_if<std::string>(&settings)) {
    std::cerr << "quillrank-batch: " << *error << "\n";
    return kExitUsage;
  }
  if (options.print_config) {
    std::cout << settings_as_toml(std::get<Settings>(settings)) << std::flush;
    return std::cout ? 0 : kExitOutput;
  }
  if (options.schedule || !options.unschedule.empty()) return schedule_project(options);
  std::optional<Project> project;
  std::optional<ProjectLock> lock;
  if (!options.project.empty()) {
    auto loaded = ProjectStore(default_projects_folder()).load(options.project);
    if (const auto* error = std::get_if<std::string>(&loaded)) {
      std::cerr << "quillrank-batch: --project: " << *error << "\n";
      return kExitUsage;
    }
    project.emplace(std::move(std::get<Project>(loaded)));
    std::string why;
    auto taken =
        ProjectLock::take(ProjectStore(default_projects_folder()).folder_of(project->name), why);
    if (const auto* refusal = std::get_if<ProjectLock::Refusal>(&taken)) {
      std::cerr << "quillrank-batch: project " << project->name << ": " << why
                << "; this run does not start\n";
      return *refusal == ProjectLock::Refusal::held ? kExitProjectBusy : kExitOutput;
    }
    lock.emplace(std::move(std::get<ProjectLock>(taken)));
  }
  const std::vector<std::string>& engine_names =
      project && !options.engines_given ? project->settings.engines : options.engines;
  const auto ticked = resolve_engines(engine_names, std::get<Settings>(settings).engines);
  if (const auto* error = std::get_if<std::string>(&ticked)) {
    std::cerr << "quillrank-batch: " << *error << "\n" << batch_usage() << "\n";
    return kExitUsage;
  }
  if (!options.save_project.empty()) return save_project(options);
  if (!options.rename_project.empty() || !options.delete_project.empty()) {
    return rename_or_delete_project(options, std::get<Settings>(settings));
  }
  const EngineTicks& ticks = std::get<EngineTicks>(ticked);
  // Engines whose pages the browser renders have it served on this thread while it waits;
  // declared before the session, so it outlives every worker that asks it.
  const Engines& engines = std::get<Settings>(settings).engines;
  // --work ranks the rows of every engine the machine knows.
  const std::unique_ptr<ProgramBrowser> browser =
      needs_browser(engines, options.work ? EngineTicks(engines.size(), true) : ticks)
          ? start_program_browser()
          : nullptr;
  const WorkerSources sources =
      live_engine_sources(default_cookie_folder(), browser ? browser->sources() : BrowserSources());
  std::mutex waiting;
  std::condition_variable_any wake;  // woken at once by a signal's stop request
  const auto pause = [&] {
    constexpr std::chrono::milliseconds kTick(100);
    if (browser) return browser->serve(kTick);
    std::unique_lock lock(waiting);
    wake.wait_for(lock, interruption.token(), kTick, [] { return false; });
  };
  if (options.check) {
    interruption.exit_at_once(false);
    return check_engines(options, std::get<Settings>(settings), ticks, sources, pause,
                         interruption.token());
  }
  const std::string history_at = chosen_history_path(
      std::get<Settings>(settings).history, history_location(std::get<Settings>(settings)));
  const bool queued = options.work || options.wait || !options.enqueue.empty();
  if (queued && !is_postgres_location(history_at)) {
    std::cerr << "quillrank-batch: --enqueue, --work and --wait need a shared history: "
                 "--history postgresql://...\n";
    return kExitUsage;
  }
  if (options.work) {
    interruption.exit_at_once(false);
    return work_shared_queue(options, std::get<Settings>(settings), history_at, sources, pause,
                             interruption.token());
  }
  std::optional<OutputFile> output_file;
  if (!options.output.empty()) {
    auto opened = OutputFile::open(options.output, options.input);
    if (auto* error = std::get_if<std::string>(&opened)) {
      std::cerr << "quillrank-batch: " << *error << "\n";
      return kExitUsage;
    }
    output_file.emplace(std::move(std::get<OutputFile>(opened)));
    interruption.remove_on_exit(output_file->temp_path());
  }
  std::unique_ptr<SavedPages> saved_pages;
  if (!options.save_pages.empty()) {
    auto opened = SavedPages::open(options.save_pages);
    if (auto* error = std::get_if<std::string>(&opened)) {
      std::cerr << "quillrank-batch: " << *error << "\n";
      return kExitUsage;
    }
    saved_pages = std::move(std::get<std::unique_ptr<SavedPages>>(opened));
  }
  if (options.wait) {
    RunResults results;
    interruption.exit_at_once(false);
    try {
      RowQueue queue = RowQueue::open(history_at, kQueueTimeoutMs, worker_name());
      if (!wait_for_run(queue, *options.wait, std::get<Settings>(settings).engines, kWaitPoll,
                        interruption.token(), results)) {
        if (interruption.interrupted()) return kExitInterrupted;
        std::cerr << "quillrank-batch: no queued run " << *options.wait << "\n";
        return kExitOutput;
      }
    } catch (const std::exception& error) {
      std::cerr << "quillrank-batch: the shared queue " << shown_location(history_at) << ": "
                << error.what() << "\n";
      return kExitOutput;
    }
    interruption.exit_at_once(true);
    return write_table(format_result_table(results, std::get<Settings>(settings).engines,
                                           options.csv, options.details ? ticks : NoDetails()),
                       output_file, options.output, 0);
  }
  std::optional<DecodedKeywordFile> decoded;
  if (project) {
    decoded.emplace(DecodedKeywordFile{.text = project->list});
  } else {
    decoded = read_keyword_input(options.input);
    if (!decoded) return kExitUsage;
  }

  RunResults results;
  const bool show_progress = isatty(STDERR_FILENO);
  std::atomic<bool> finished{false};
  // Declared before the session, so every worker is joined before the history closes.
  const std::unique_ptr<HistoryWriter> history = open_history(std::get<Settings>(settings));
  std::optional<RunRecorder> recorder;
  if (history) recorder.emplace(*history, "batch");
  RunSession session(results, PageFetcher::source(), PageFetcher::source());
  session.set_engines(std::get<Settings>(settings).engines);
  session.set_worker_sources(sources);
  session.set_recorder(recorder ? &*recorder : nullptr);
  if (project) session.set_project(project->name);
  std::atomic<bool> completed{false};
  session.set_run_finished([&finished, &completed](RunSession::RunEnd end) {
    completed = end == RunSession::RunEnd::completed;
    finished = true;
  });
  if (saved_pages) {
    session.set_page_seen([&saved_pages, &session](std::size_t engine, const SeenPage& page) {
      saved_pages->save(session.engines()[engine].key, page);
    });
  }
  ExpansionReport report;
  const GbkText list = session.expand_entries(decoded->text, interruption.token(), {}, &report);
  if (report.too_large) {
    std::cerr << "quillrank-batch: the site entries' lines would pass " << (kMaxExpandedBytes >> 20)
              << " MiB (lines that name other entries, expanded "
              << "again and again); no entry was expanded\n";
  }
  for (const GbkText& entry : report.cut_entries) {
    std::cerr << "quillrank-batch: site entry " << gbk_to_utf8(entry) << ": only the first "
              << kMaxSiteWords << " words (from " << (kMaxSiteWordBytes >> 10)
              << " KiB of title and keywords) are used\n";
  }
  for (const FailedEntry& failed : report.failed) {
    std::cerr << "quillrank-batch: site entry " << visible_text(gbk_to_utf8(failed.entry))
              << " was not expanded: " << visible_text(gbk_to_utf8(failed.reason)) << "\n";
  }
  const KeywordList rows = split_keyword_list(list);
  if (rows.too_many) {
    std::cerr << "quillrank-batch: the keyword list holds more than " << kMaxListRows
              << " pairs; a run takes at most that many: split the list\n";
    return kExitUsage;
  }
  report_left_out(rows);
  if (!options.enqueue.empty()) {
    try {
      RowQueue queue = RowQueue::open(history_at, kQueueTimeoutMs, worker_name());
      std::cout << enqueue_rows(queue, rows, report.failed, std::get<Settings>(settings).engines,
                                ticks, project ? project->name : std::string())
                << "\n"
                << std::flush;
      return 0;
    } catch (const std::exception& error) {
      std::cerr << "quillrank-batch: the shared queue " << shown_location(history_at) << ": "
                << error.what() << "\n";
      return kExitOutput;
    }
  }
  // Until the run is recorded as started nothing needs an orderly end; from here a signal
  // stops the workers and the run is recorded as stopped.
  interruption.exit_at_once(false);
  std::optional<std::int64_t> started;
  if (!interruption.interrupted()) started = session.start(rows, ticks, report.failed);

  while (!finished && !interruption.interrupted()) {
    pause();
    if (show_progress) print_progress(session, ticks, results.row_count());
  }
  if (interruption.interrupted()) {
    session.stop();  // what was ranked stays in the history, marked stopped
    if (show_progress) clear_progress();
    return kExitInterrupted;
  }
  if (show_progress) clear_progress();
  session.stop();  // every worker has ended: joined before the table is written
  // The history is complete before a signal may end the program at once.
  if (history) history->flush();
  interruption.exit_at_once(true);
  if (interruption.interrupted()) return kExitInterrupted;

  const std::string output = format_result_table(results, session.engines(), options.csv,
                                                 options.details ? ticks : NoDetails());
  // Pages that could not be saved, or an engine that could not run, make the run's status 1
  // once its table is out.
  int done = 0;
  if (saved_pages && !saved_pages->failure().empty()) {
    std::cerr << "quillrank-batch: " << saved_pages->failure()
              << "; the run went on without saving pages\n";
    done = kExitOutput;
  }
  if (!completed) {
    std::cerr << "quillrank-batch: an engine's worker could not start; its column holds no "
                 "ranks and the run is recorded as stopped\n";
    done = kExitOutput;
  }
  int written = write_table(output, output_file, options.output, done);
  // Once the table is out, so that the command may send it on.
  if (!std::get<Settings>(settings).on_run_end.empty()) {
    tell_run_end(std::get<Settings>(settings), results, session.engines(), ticks,
                 RunSummary{.project = project ? project->name : "", .completed = completed},
                 history ? started : std::nullopt);
  }
  return written;
}

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  return quillrank::run(std::vector<std::string>(argv + 1, argv + argc));
}
