#include "app/history/history_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "app/history/project_report.h"
#include "engines/engines.h"

namespace quillrank {

std::string history_usage() {
  return "usage: quillrank-history [--history FILE] [--runs | --full | --moves] [--site SITE] "
         "[--keyword KEYWORD] [--engine ENGINE] [--project NAME] [--csv]  |  --report "
         "FILE.html|FILE.xlsx --project NAME [--from YYYY-MM-DD] [--to YYYY-MM-DD]  |  "
         "--export-csv FILE --project NAME  |  --import-csv FILE [--project NAME]  (--help for "
         "more)";
}

HistoryCommand parse_history_options(const std::vector<std::string>& args) {
  HistoryOptions options;
  bool runs = false, full = false, moves = false;
  CLI::App app("", "quillrank-history");
  app.description(
      "Prints the rank history that the window and quillrank-batch record: without options the "
      "latest rank of every site, keyword and engine with the previous one and the change.");
  app.set_version_flag("--version", std::string("quillrank-history ") + kBatchVersion);
  app.add_option("--history", options.history,
                 "the rank history: a database file or a postgresql:// URL (default: the settings "
                 "file's history_url or history_path, else "
                 "$XDG_DATA_HOME/quillrank/history.sqlite3)");
  auto* runs_flag = app.add_flag("--runs", runs, "list the runs");
  auto* full_flag = app.add_flag("--full", full, "print every record the filters match");
  app.add_flag("--moves", moves,
               "print what moved between the last two completed runs, biggest moves first")
      ->excludes(runs_flag)
      ->excludes(full_flag);
  runs_flag->excludes(full_flag);
  app.add_option("--site", options.site,
                 "only this site, exactly as in the keyword list and without http://");
  app.add_option("--keyword", options.keyword, "only this keyword");
  app.add_option("--engine", options.engine,
                 "only this engine, by key: baidu, google, sogou, soso, baidu_mobile, so360, "
                 "bing_cn or one the settings file defines");
  app.add_flag("--csv", options.csv,
               "RFC 4180 CSV with a UTF-8 byte order mark instead of tab-separated text");
  auto* report = app.add_option("--report", options.report_file,
                                "write the report of --project as one self-contained HTML file "
                                "(charts of visibility per engine, the biggest moves, every "
                                "keyword with its trend, the blocked share of each run), or "
                                "as an Excel workbook of the same tables when FILE ends in .xlsx");
  auto* project = app.add_option(
      "--project", options.project,
      "only the runs of this saved project; with --report and --export-csv, the project they are "
      "of: its runs and, for its list's site|keyword pairs, the runs of no project; with "
      "--import-csv, the project of the runs of a file from before runs had one");
  auto* export_csv =
      app.add_option("--export-csv", options.export_csv,
                     "write the records of --project (as --report reads them), with their runs, "
                     "to this CSV file (for --import-csv on another machine)");
  auto* import_csv = app.add_option("--import-csv", options.import_csv,
                                    "add the runs of a --export-csv file that the history does "
                                    "not hold yet (the same file twice adds nothing twice)");
  report->needs(project)->excludes(runs_flag)->excludes(full_flag)->excludes(export_csv);
  export_csv->needs(project)->excludes(import_csv);
  import_csv->excludes(report);
  app.add_option("--from", options.from, "the report's first day, YYYY-MM-DD")->needs(report);
  app.add_option("--to", options.to, "the report's last day, YYYY-MM-DD")->needs(report);
  if (auto done = parse_command_line(app, args, "quillrank-history")) {
    return std::visit([](auto& answer) -> HistoryCommand { return answer; }, *done);
  }
  std::transform(options.engine.begin(), options.engine.end(), options.engine.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  // The history keeps every engine a run asked, those of a settings file of the past too.
  if (!options.engine.empty() && !valid_engine_key(options.engine)) {
    return UsageError{"--engine: '" + options.engine +
                      "' is no engine key (a-z, 0-9 and _, starting with a letter)"};
  }
  for (const std::string* date : {&options.from, &options.to}) {
    if (!date->empty() && !parse_report_date(*date)) {
      return UsageError{"--from/--to: '" + *date + "' is no date (YYYY-MM-DD)"};
    }
  }
  if (!options.report_file.empty() && !options.report_file.ends_with(".html") &&
      !options.report_file.ends_with(".xlsx")) {
    return UsageError{"--report: FILE.html or FILE.xlsx (an Excel workbook of the same tables)"};
  }
  if (runs) options.report = HistoryOptions::Report::runs;
  if (full) options.report = HistoryOptions::Report::full;
  if (moves) options.report = HistoryOptions::Report::moves;
  return options;
}

}  // namespace quillrank
