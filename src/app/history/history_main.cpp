// quillrank-history: prints the rank history that the window and quillrank-batch record, as
// UTF-8 text in the batch's two forms. Reads the database only; never creates one.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/batch/batch_output.h"
#include "app/batch/output_file.h"
#include "app/history/history_csv.h"
#include "app/history/history_options.h"
#include "app/history/history_report.h"
#include "app/history/project_report_file.h"
#include "history/rank_history.h"
#include "projects/project_store.h"
#include "settings/settings.h"

namespace quillrank {
namespace {

constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kBusyTimeoutMs = 5000;

// The project's report of the runs of the period, or its history as CSV.
std::string project_output(RankHistory& store, const HistoryOptions& options,
                           const Project& project) {
  if (!options.export_csv.empty())
    return history_csv(project_records(store, project), store.runs());
  return project_report_file(store, project, options.from, options.to, options.report_file);
}

// --import-csv: the file's runs added to the history at `path` (created when missing), of
// `project` when the file names no project for its runs.
int import_csv(const std::string& file, const std::string& path, const std::string& project) {
  std::error_code error;
  if (std::filesystem::file_size(file, error) > kMaxHistoryCsvBytes && !error) {
    std::cerr << "quillrank-history: " << file << " is larger than 512 MiB\n";
    return kExitUsage;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    std::cerr << "quillrank-history: cannot read " << file << "\n";
    return kExitUsage;
  }
  const auto runs = parse_history_csv(text.str(), project);
  if (const auto* error = std::get_if<std::string>(&runs)) {
    std::cerr << "quillrank-history: " << file << ": " << *error << "\n";
    return kExitUsage;
  }
  try {
    const std::unique_ptr<RankHistory> store = open_history_for_writing(path, kBusyTimeoutMs);
    const ImportCounts counts = import_history_runs(*store, std::get<std::vector<CsvRun>>(runs));
    std::cout << "added " << counts.runs_added << " run(s) with " << counts.cells_added
              << " cell(s); " << counts.runs_present << " run(s) were there already\n";
  } catch (const std::exception& error) {
    std::cerr << "quillrank-history: cannot write " << path << ": " << error.what() << "\n";
    return kExitUnreadable;
  }
  return 0;
}

int run(const std::vector<std::string>& args) {
  const HistoryCommand command = parse_history_options(args);
  if (const auto* print = std::get_if<PrintAndExit>(&command)) {
    std::cout << print->text << std::flush;
    return 0;
  }
  if (const auto* error = std::get_if<UsageError>(&command)) {
    std::cerr << "quillrank-history: " << error->message << "\n" << history_usage() << "\n";
    return kExitUsage;
  }
  const HistoryOptions& options = std::get<HistoryOptions>(command);
  std::string path = options.history;
  if (path.empty()) {
    const std::string settings_path = default_settings_path();
    const auto settings = settings_path.empty() ? Settings{} : read_settings_file(settings_path);
    if (const auto* error = std::get_if<std::string>(&settings)) {
      std::cerr << "quillrank-history: " << *error << "\n";
      return kExitUsage;
    }
    path = chosen_history_path(true, history_location(std::get<Settings>(settings)));
  }
  if (!options.import_csv.empty()) return import_csv(options.import_csv, path, options.project);
  std::error_code missing;
  if (!is_postgres_location(path) && !std::filesystem::is_regular_file(path, missing)) {
    std::cerr << "quillrank-history: no rank history at " << path << "\n";
    return kExitUnreadable;
  }
  std::optional<Project> project;  // the project a report or an export is of
  if (!options.report_file.empty() || !options.export_csv.empty()) {
    auto loaded = ProjectStore(default_projects_folder()).load(options.project);
    if (const auto* error = std::get_if<std::string>(&loaded)) {
      std::cerr << "quillrank-history: --project: " << *error << "\n";
      return kExitUsage;
    }
    project.emplace(std::move(std::get<Project>(loaded)));
  }
  std::string output;
  try {
    const std::unique_ptr<RankHistory> store = open_history_for_reading(path, kBusyTimeoutMs);
    if (project) {
      const std::string& file =
          options.export_csv.empty() ? options.report_file : options.export_csv;
      if (!replace_file(file, project_output(*store, options, *project))) {
        std::cerr << "quillrank-history: cannot write " << file << "\n";
        return kExitUnreadable;
      }
      return 0;
    }
    output = format_text_table(history_report(*store, options), options.csv);
  } catch (const std::exception& error) {
    std::cerr << "quillrank-history: cannot read " << shown_location(path) << ": " << error.what()
              << "\n";
    return kExitUnreadable;
  }
  if (write_all(STDOUT_FILENO, output)) return 0;
  std::cerr << "quillrank-history: cannot write the standard output: " << std::strerror(errno)
            << "\n";
  return kExitUnreadable;
}

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  return quillrank::run(std::vector<std::string>(argv + 1, argv + argc));
}
