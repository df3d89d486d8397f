// RankHistory: what the rank history keeps (runs and their cells) and the one interface through
// which the history writer writes it and the window and quillrank-history read it, whichever
// database holds it: an SQLite file (HistoryStore) or a PostgreSQL database (PgHistoryStore),
// chosen by the history's location. Both keep the same tables, columns and schema versions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillrank {

// The schema version this program writes; a database of a newer one is refused.
inline constexpr int kHistorySchemaVersion = 4;

enum class RunState { running, completed, stopped };

struct RunRow {
  std::int64_t id = 0;
  std::int64_t started_ms = 0;
  std::string engines;       // engine keys, comma-separated: "baidu,google"
  std::string source;        // "window" or "batch"
  std::string project = {};  // the project the run ranked; empty: none
  RunState state = RunState::running;
  int cells = 0;   // cells recorded
  int ranked = 0;  // of them, with a rank
};

// One engine cell as a worker wrote it. Texts in UTF-8; the engine by key ("baidu").
struct CellRecord {
  std::string site;
  std::string keyword;
  std::string engine;
  std::string text;
  std::optional<int> rank;
  std::string verdict;  // "result", "blocked", "no_results", "failed", "unrecognised"
  std::string reason;   // the cell's detail
  std::int64_t time_ms = 0;
  std::string address = {};  // the result link that ranks (UTF-8); empty: none
};

// A recorded cell with the run it belongs to.
struct HistoryRecord {
  std::int64_t run_id = 0;
  std::int64_t run_started_ms = 0;
  RunState run_state = RunState::running;
  CellRecord cell;
  std::string run_project = {};  // the run's project; empty: none
};

// The runs a read covers: every run (nullopt), or those of one project ("": of none).
using ProjectFilter = std::optional<std::string>;
inline const ProjectFilter kAnyProject = std::nullopt;

// Which records a read returns: those whose fields equal the filters given (an empty text
// matches all) from the runs `project` covers.
struct RecordFilter {
  std::string site = {}, keyword = {}, engine = {};
  ProjectFilter project = kAnyProject;
};

// What the history says of one site, keyword and engine before the run now going.
struct PastRanks {
  bool asked_before = false;    // a completed run has a cell for it
  std::optional<int> previous;  // that run's rank
  std::int64_t previous_ms = 0;
  std::string previous_address;  // where that run ranked it; empty: nowhere or not recorded
  std::optional<int> best;       // the best rank any run recorded
  std::int64_t best_ms = 0;      // when it was first reached
};

// The latest cell of a site, keyword and engine, and the one of the latest completed run
// before it.
struct LatestRank {
  HistoryRecord latest;
  std::optional<HistoryRecord> previous;
};

// Ranks of the same site, keyword and engine in the last two completed runs that recorded
// anything, for the keys both of them asked.
struct RankMove {
  std::string site, keyword, engine;
  std::optional<int> previous, current;
  std::string previous_address = {}, current_address = {};  // the results that ranked; "": none
};

class RankHistory {
 public:
  virtual ~RankHistory() = default;

  virtual int schema_version() = 0;

  // Runs `writes` (calls of the three writes below) in one transaction: all of them are kept,
  // or, when one throws, none.
  virtual void transaction(const std::function<void()>& writes) = 0;
  // `project`: the project the run ranks; empty: none. (Overrides repeat this interface's
  // default arguments, so a call reads the same through either type.)
  virtual std::int64_t add_run(std::int64_t started_ms, const std::string& engines,
                               const std::string& source, const std::string& project = {}) = 0;
  virtual void add_cell(std::int64_t run_id, const CellRecord& cell) = 0;
  virtual void end_run(std::int64_t run_id, RunState state, std::int64_t ended_ms) = 0;
  // The runs of the project `from` become runs of `to` (a project renamed); returns how many.
  virtual int rename_project(const std::string& from, const std::string& to) = 0;

  virtual std::vector<RunRow> runs(const ProjectFilter& project = kAnyProject) = 0;
  // Of runs started before `before_ms` only, so the run now going is never its own past.
  virtual PastRanks past_ranks(const std::string& site, const std::string& keyword,
                               const std::string& engine, std::int64_t before_ms) = 0;
  // Every record of `site` and `keyword` (all engines), oldest run first.
  std::vector<HistoryRecord> row_history(const std::string& site, const std::string& keyword) {
    return records({.site = site, .keyword = keyword});
  }
  // Every record `filter` lets through, oldest run first.
  std::vector<HistoryRecord> records(const RecordFilter& filter) {
    std::vector<HistoryRecord> found;
    visit_records(filter, [&found](HistoryRecord&& record) { found.push_back(std::move(record)); });
    return found;
  }
  // The same, handed to `visit` one by one as they are read: a reader that keeps a few of many
  // never holds them all.
  virtual void visit_records(const RecordFilter& filter,
                             const std::function<void(HistoryRecord&&)>& visit) = 0;
  // Of the runs `project` covers: each key's latest record, and the moves between the last two
  // completed runs.
  virtual std::vector<LatestRank> latest_ranks(const ProjectFilter& project = kAnyProject) = 0;
  virtual std::vector<RankMove> last_moves(const ProjectFilter& project = kAnyProject) = 0;
};

std::string_view run_state_name(RunState state);
RunState run_state_from(std::string_view name);

// $XDG_DATA_HOME/quillrank/history.sqlite3, else ~/.local/share/quillrank/history.sqlite3;
// empty when neither variable is set.
std::string default_history_path();

// Where runs are recorded: nowhere (empty) when not `enabled`, else `configured` when given (a
// file or a database URL),
// else the default place.
std::string chosen_history_path(bool enabled, const std::string& configured);

// Whether the history's location names a PostgreSQL database (postgresql:// or postgres://)
// rather than an SQLite file.
bool is_postgres_location(std::string_view location);

// Opens the history at `location` (a file path or a database URL) for writing, bringing its
// schema up to date; or, for reading only, one that exists and whose schema this program knows.
// Waits up to `timeout_ms` for a busy database or a server. Throws std::runtime_error.
std::unique_ptr<RankHistory> open_history_for_writing(const std::string& location, int timeout_ms);
// The runs of the project `from` in the history at `location` become runs of `to`; how many.
// No history there (empty, or a file that does not exist) holds none and is not created.
// Throws what opening or writing the history throws.
int rename_history_project(const std::string& location, const std::string& from,
                           const std::string& to, int timeout_ms);
std::unique_ptr<RankHistory> open_history_for_reading(const std::string& location, int timeout_ms);

}  // namespace quillrank
