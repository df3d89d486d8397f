// quillrank-history: prints the rank history that the window and quillrank-batch record, as
// UTF-8 text in the batch's two forms. Reads the database only; never creates one.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <set>

#include "app/batch/batch_output.h"
#include "app/batch/output_file.h"
#include "app/history/history_options.h"
#include "app/history/history_report.h"
#include "app/history/project_report.h"
#include "keywords/keyword_list.h"
#include "projects/project_store.h"
#include "settings/settings.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kBusyTimeoutMs = 5000;

// The project's report: every record of its list's site|keyword pairs from the runs of the
// period. Returns what to write, or throws what the database says.
std::string project_report(HistoryStore& store, const HistoryOptions& options,
                           const Project& project) {
  std::vector<HistoryRecord> records;
  std::set<std::pair<std::string, std::string>> pairs;
  for (const QueryRow& row : split_keyword_list(project.list).rows) {
    if (row.keyword.empty()) continue;
    const auto pair = std::make_pair(gbk_to_utf8(row.site), gbk_to_utf8(row.keyword));
    if (!pairs.insert(pair).second) continue;
    for (HistoryRecord& record : store.records(pair.first, pair.second, "")) {
      records.push_back(std::move(record));
    }
  }
  constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
  const std::int64_t from = options.from.empty() ? 0 : *parse_report_date(options.from);
  const std::int64_t to = options.to.empty() ? std::numeric_limits<std::int64_t>::max()
                                             : *parse_report_date(options.to) + kDayMs - 1;
  ProjectReport report = build_project_report(records, project.name, from, to);
  report.period = (options.from.empty() ? "首次查询" : options.from) + " .. " +
                  (options.to.empty() ? "最近一次查询" : options.to);
  return project_report_html(report);
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
    path = chosen_history_path(true, std::get<Settings>(settings).history_path);
  }
  std::error_code missing;
  if (!std::filesystem::is_regular_file(path, missing)) {
    std::cerr << "quillrank-history: no rank history at " << path << "\n";
    return kExitUnreadable;
  }
  std::optional<Project> project;
  if (!options.project.empty()) {
    auto loaded = ProjectStore(default_projects_folder()).load(options.project);
    if (const auto* error = std::get_if<std::string>(&loaded)) {
      std::cerr << "quillrank-history: --project: " << *error << "\n";
      return kExitUsage;
    }
    project.emplace(std::move(std::get<Project>(loaded)));
  }
  std::string output;
  try {
    HistoryStore store = HistoryStore::open_for_reading(path, kBusyTimeoutMs);
    if (project) {
      if (!replace_file(options.report_file, project_report(store, options, *project))) {
        std::cerr << "quillrank-history: cannot write " << options.report_file << "\n";
        return kExitUnreadable;
      }
      return 0;
    }
    output = format_text_table(history_report(store, options), options.csv);
  } catch (const std::exception& error) {
    std::cerr << "quillrank-history: cannot read " << path << ": " << error.what() << "\n";
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
