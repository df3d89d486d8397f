// The history CSV reader on arbitrary bytes: runs or a "line N: ..." message, never a crash;
// every cell it reads has a valid engine key, a known verdict and a rank in range, and what it
// reads writes back (history_csv) as a file that reads as the same runs, each cell's of the same
// project (an older file's runs of the one given for them).
#include <cstdlib>
#include <string_view>

#include "app/history/history_csv.h"
#include "engines/engines.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = parse_history_csv(text, "older");
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    if (!error->starts_with("line ") && !error->starts_with("a quote")) std::abort();
    return 0;
  }
  const auto& runs = std::get<std::vector<CsvRun>>(parsed);
  std::vector<HistoryRecord> records;
  std::vector<RunRow> rows;
  for (std::size_t run = 0; run < runs.size(); ++run) {
    rows.push_back({.id = static_cast<std::int64_t>(run) + 1,
                    .started_ms = runs[run].started_ms,
                    .engines = runs[run].engines,
                    .source = runs[run].source,
                    .project = runs[run].project,
                    .state = runs[run].state,
                    .cells = 0,
                    .ranked = 0});
    for (const CellRecord& cell : runs[run].cells) {
      if (!valid_engine_key(cell.engine) || (cell.rank && (*cell.rank < 1 || *cell.rank > 10000))) {
        std::abort();
      }
      records.push_back({.run_id = rows.back().id,
                         .run_started_ms = runs[run].started_ms,
                         .run_state = runs[run].state,
                         .cell = cell,
                         .run_project = runs[run].project});
    }
  }
  const auto again = parse_history_csv(history_csv(records, rows), "");
  if (!std::holds_alternative<std::vector<CsvRun>>(again)) std::abort();
  std::size_t cells = 0;
  for (const CsvRun& run : std::get<std::vector<CsvRun>>(again)) {
    for (std::size_t cell = 0; cell < run.cells.size(); ++cell, ++cells) {
      if (cells >= records.size() || records[cells].run_project != run.project) std::abort();
    }
  }
  if (cells != records.size()) std::abort();
  return 0;
}
