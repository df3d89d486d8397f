// HistoryStore: the rank history database (SQLite): its schema and migrations, the writes of
// the history writer and the reads of the window and quillrank-history. One connection; use it
// from one thread at a time. Every failure throws SQLite::Exception (a std::runtime_error).
#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillrank {

// The schema version this program writes; a database of a newer one is refused.
inline constexpr int kHistorySchemaVersion = 3;

// $XDG_DATA_HOME/quillrank/history.sqlite3, else ~/.local/share/quillrank/history.sqlite3;
// empty when neither variable is set.
std::string default_history_path();

// Where runs are recorded: nowhere (empty) when not `enabled`, else `configured` when given,
// else the default place.
std::string chosen_history_path(bool enabled, const std::string& configured);

enum class RunState { running, completed, stopped };

struct RunRow {
  std::int64_t id = 0;
  std::int64_t started_ms = 0;
  std::string engines;  // engine keys, comma-separated: "baidu,google"
  std::string source;   // "window" or "batch"
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

class HistoryStore {
 public:
  // Opens (creating it and its folder when missing) the database at `path` for writing: WAL
  // journal, schema brought up to date. Waits up to `busy_timeout_ms` for another writer.
  static HistoryStore open_for_writing(const std::string& path, int busy_timeout_ms);
  // Opens an existing database for reading; refuses one of a newer schema.
  static HistoryStore open_for_reading(const std::string& path, int busy_timeout_ms);

  int schema_version();

  // Writes; the writer groups them in transactions on database().
  std::int64_t add_run(std::int64_t started_ms, const std::string& engines,
                       const std::string& source);
  void add_cell(std::int64_t run_id, const CellRecord& cell);
  void end_run(std::int64_t run_id, RunState state, std::int64_t ended_ms);
  SQLite::Database& database() { return database_; }

  // Reads.
  std::vector<RunRow> runs();
  // Of runs started before `before_ms` only, so the run now going is never its own past.
  PastRanks past_ranks(const std::string& site, const std::string& keyword,
                       const std::string& engine, std::int64_t before_ms);
  // Every record of `site` and `keyword` (all engines), oldest run first.
  std::vector<HistoryRecord> row_history(const std::string& site, const std::string& keyword);
  // Every record whose fields equal the filters given (an empty filter matches all), oldest
  // first.
  std::vector<HistoryRecord> records(const std::string& site, const std::string& keyword,
                                     const std::string& engine);
  std::vector<LatestRank> latest_ranks();
  std::vector<RankMove> last_moves();

 private:
  explicit HistoryStore(SQLite::Database database) : database_(std::move(database)) {}
  void switch_to_wal(int busy_timeout_ms);
  void migrate();

  SQLite::Database database_;
  // Prepared once: the writer inserts and the window asks for every row's past ranks.
  std::optional<SQLite::Statement> insert_cell_;
  std::optional<SQLite::Statement> previous_rank_;
  std::optional<SQLite::Statement> best_rank_;
};

std::string_view run_state_name(RunState state);

}  // namespace quillrank
