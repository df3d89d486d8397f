// The command line of quillrank-history.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "app/batch/batch_options.h"

namespace quillrank {

struct HistoryOptions {
  enum class Report {
    latest,  // the latest rank of each site, keyword and engine, with the previous one
    runs,    // every run
    full,    // every record
    moves,   // what moved between the last two completed runs, biggest moves first
  };
  Report report = Report::latest;
  std::string history;  // the database; empty: the settings file's, else the default place
  bool csv = false;
  // Filters (empty: any); the engine by key, any case.
  std::string site, keyword, engine;
  // --report FILE --project NAME [--from DATE] [--to DATE]: the project's report as HTML,
  // or as an Excel workbook when FILE ends in .xlsx.
  std::string report_file;
  // With --report or --export-csv, the project they are of; with --import-csv, the project of
  // the runs of a file that names none for its runs; else only the runs of this project.
  std::string project;
  std::string from, to;    // YYYY-MM-DD, checked; empty: from the first run, to the last
  std::string export_csv;  // --export-csv FILE --project NAME: the project's history as CSV
  std::string import_csv;  // --import-csv FILE: add the runs of such a file not yet held
};

using HistoryCommand = std::variant<HistoryOptions, PrintAndExit, UsageError>;

HistoryCommand parse_history_options(const std::vector<std::string>& args);

// One line of usage, for errors.
std::string history_usage();

}  // namespace quillrank
