// HistoryStore: the rank history in an SQLite file (the default): its schema and migrations, the
// writes of the history writer and the reads of the window and quillrank-history. One
// connection; use it from one thread at a time. Every failure throws SQLite::Exception (a
// std::runtime_error).
#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/rank_history.h"

namespace quillrank {

class HistoryStore final : public RankHistory {
 public:
  // Opens (creating it and its folder when missing) the database at `path` for writing: WAL
  // journal, schema brought up to date. Waits up to `busy_timeout_ms` for another writer.
  static HistoryStore open_for_writing(const std::string& path, int busy_timeout_ms);
  // Opens an existing database for reading; refuses one of a newer schema.
  static HistoryStore open_for_reading(const std::string& path, int busy_timeout_ms);

  int schema_version() override;

  void transaction(const std::function<void()>& writes) override;
  std::int64_t add_run(std::int64_t started_ms, const std::string& engines,
                       const std::string& source, const std::string& project = {}) override;
  void add_cell(std::int64_t run_id, const CellRecord& cell) override;
  void end_run(std::int64_t run_id, RunState state, std::int64_t ended_ms) override;
  int rename_project(const std::string& from, const std::string& to) override;
  SQLite::Database& database() { return database_; }

  std::vector<RunRow> runs(const ProjectFilter& project = kAnyProject) override;
  PastRanks past_ranks(const std::string& site, const std::string& keyword,
                       const std::string& engine, std::int64_t before_ms) override;
  void visit_records(const RecordFilter& filter,
                     const std::function<void(HistoryRecord&&)>& visit) override;
  std::vector<LatestRank> latest_ranks(const ProjectFilter& project = kAnyProject) override;
  std::vector<RankMove> last_moves(const ProjectFilter& project = kAnyProject) override;

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

}  // namespace quillrank
