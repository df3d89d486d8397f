// quillrank-history: prints the rank history that the window and quillrank-batch record, as
// UTF-8 text in the batch's two forms. Reads the database only; never creates one.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/batch/batch_output.h"
#include "app/batch/output_file.h"
#include "app/history/history_options.h"
#include "app/history/history_report.h"
#include "history/history_store.h"
#include "settings/settings.h"

namespace quillrank {
namespace {

constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kBusyTimeoutMs = 5000;

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
  std::error_code missing;
  if (!is_postgres_location(path) && !std::filesystem::is_regular_file(path, missing)) {
    std::cerr << "quillrank-history: no rank history at " << path << "\n";
    return kExitUnreadable;
  }
  std::string output;
  try {
    const std::unique_ptr<RankHistory> store = open_history_for_reading(path, kBusyTimeoutMs);
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
