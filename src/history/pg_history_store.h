// PgHistoryStore: the rank history in a PostgreSQL database, for several machines that share
// one history. The same tables, columns, schema versions and queries as the SQLite file
// (HistoryStore); the version is kept in a table of its own. One connection; use it from one
// thread at a time. Failures throw std::runtime_error.
#pragma once

#include <string>

#include "history/pg_connection.h"
#include "history/rank_history.h"

namespace quillrank {

class PgHistoryStore final : public RankHistory {
 public:
  // Connects and brings the schema up to date (one machine at a time: the others wait).
  static PgHistoryStore open_for_writing(const std::string& url, int timeout_ms);
  // Connects; refuses a database without the history or of a newer schema.
  static PgHistoryStore open_for_reading(const std::string& url, int timeout_ms);

  int schema_version() override;

  void transaction(const std::function<void()>& writes) override;
  std::int64_t add_run(std::int64_t started_ms, const std::string& engines,
                       const std::string& source, const std::string& project = {}) override;
  void add_cell(std::int64_t run_id, const CellRecord& cell) override;
  void end_run(std::int64_t run_id, RunState state, std::int64_t ended_ms) override;
  int rename_project(const std::string& from, const std::string& to) override;

  std::vector<RunRow> runs(const ProjectFilter& project = kAnyProject) override;
  PastRanks past_ranks(const std::string& site, const std::string& keyword,
                       const std::string& engine, std::int64_t before_ms) override;
  void visit_records(const RecordFilter& filter,
                     const std::function<void(HistoryRecord&&)>& visit) override;
  std::vector<LatestRank> latest_ranks(const ProjectFilter& project = kAnyProject) override;
  std::vector<RankMove> last_moves(const ProjectFilter& project = kAnyProject) override;

  PgConnection& connection() { return connection_; }

 private:
  explicit PgHistoryStore(PgConnection connection) : connection_(std::move(connection)) {}
  void migrate();
  void write_cells();  // the cells held back, in one statement

  PgConnection connection_;
  // Inside a transaction, cells wait here and go in together before anything else is asked.
  bool in_transaction_ = false;
  std::vector<std::pair<std::int64_t, CellRecord>> cells_;
};

// A cell's parameters in the order of the cells insert: run id, site, keyword, engine, text,
// rank, verdict, reason, recorded, address.
std::vector<PgParam> cell_params(std::int64_t run_id, const CellRecord& cell);

// A numbered query of the history's (?1, ?2, ...) with PostgreSQL's parameters ($1, $2, ...).
std::string pg_sql(std::string_view sql);

}  // namespace quillrank
