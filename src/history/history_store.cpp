#include "history/history_store.h"

#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include "history/history_sql.h"

namespace quillrank {
namespace {

// Migration i brings a database from schema version i to i + 1; a new version appends one.
constexpr std::array<const char*, kHistorySchemaVersion> kMigrations{
    R"sql(
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started INTEGER NOT NULL,
  engines TEXT NOT NULL,
  source TEXT NOT NULL,
  state TEXT NOT NULL DEFAULT 'running',
  ended INTEGER);
CREATE TABLE cells(
  id INTEGER PRIMARY KEY,
  run_id INTEGER NOT NULL REFERENCES runs(id),
  site TEXT NOT NULL,
  keyword TEXT NOT NULL,
  engine TEXT NOT NULL,
  text TEXT NOT NULL,
  rank INTEGER,
  verdict TEXT NOT NULL,
  reason TEXT NOT NULL,
  recorded INTEGER NOT NULL);
CREATE INDEX cells_by_key ON cells(site, keyword, engine, run_id);
CREATE INDEX cells_by_run ON cells(run_id);
)sql",
    // The best rank of a site, keyword and engine is read off an index, not from every run.
    R"sql(
CREATE INDEX cells_by_key_rank ON cells(site, keyword, engine, rank);
)sql",
    // The result link that ranks: which page of the site the engine showed ('' for none).
    R"sql(
ALTER TABLE cells ADD COLUMN address TEXT NOT NULL DEFAULT '';
)sql",
    // The project a run ranked ('' for none: a run of a plain list, or one from before).
    R"sql(
ALTER TABLE runs ADD COLUMN project TEXT NOT NULL DEFAULT '';
)sql",
};

using namespace history_sql;

std::optional<int> optional_int(const SQLite::Column& column) {
  if (column.isNull()) return std::nullopt;
  return column.getInt();
}

HistoryRecord read_record(SQLite::Statement& query, int first = 0) {
  HistoryRecord record;
  record.run_id = query.getColumn(first).getInt64();
  record.run_started_ms = query.getColumn(first + 1).getInt64();
  record.run_state = run_state_from(query.getColumn(first + 2).getString());
  CellRecord& cell = record.cell;
  cell.site = query.getColumn(first + 3).getString();
  cell.keyword = query.getColumn(first + 4).getString();
  cell.engine = query.getColumn(first + 5).getString();
  cell.text = query.getColumn(first + 6).getString();
  cell.rank = optional_int(query.getColumn(first + 7));
  cell.verdict = query.getColumn(first + 8).getString();
  cell.reason = query.getColumn(first + 9).getString();
  cell.time_ms = query.getColumn(first + 10).getInt64();
  cell.address = query.getColumn(first + 11).getString();
  record.run_project = query.getColumn(first + 12).getString();
  return record;
}

}  // namespace

RunState run_state_from(std::string_view name) {
  if (name == "completed") return RunState::completed;
  if (name == "stopped") return RunState::stopped;
  return RunState::running;
}

std::string_view run_state_name(RunState state) {
  switch (state) {
    case RunState::completed:
      return "completed";
    case RunState::stopped:
      return "stopped";
    case RunState::running:
      break;
  }
  return "running";
}

HistoryStore HistoryStore::open_for_writing(const std::string& path, int busy_timeout_ms) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a folder that cannot be made shows as the open's own error
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  HistoryStore store(
      SQLite::Database(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, busy_timeout_ms));
  // WAL: readers never wait for the writer, and a killed writer loses only what it had not
  // committed. NORMAL syncs at checkpoints only, which WAL keeps consistent.
  store.switch_to_wal(busy_timeout_ms);
  store.database_.exec("PRAGMA synchronous=NORMAL");
  store.migrate();
  store.insert_cell_.emplace(store.database_, kInsertCell);
  return store;
}

HistoryStore HistoryStore::open_for_reading(const std::string& path, int busy_timeout_ms) {
  HistoryStore store(SQLite::Database(path, SQLite::OPEN_READONLY, busy_timeout_ms));
  // A report reads the whole history: pages mapped rather than copied in one system call each,
  // and kept, so the cells' index and their table are read once.
  store.database_.exec("PRAGMA mmap_size=1073741824");
  store.database_.exec("PRAGMA cache_size=-65536");
  const int version = store.schema_version();
  if (version < 1 || version > kHistorySchemaVersion) {
    throw SQLite::Exception("unknown history schema version " + std::to_string(version));
  }
  return store;
}

void HistoryStore::switch_to_wal(int busy_timeout_ms) {
  // Switching a new file to WAL needs it to itself, and SQLite answers "locked" at once instead
  // of waiting when another program is switching or creating it at the same moment (two
  // programs started together): that is asked again until the busy time-out has passed.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms);
  for (;;) {
    try {
      database_.exec("PRAGMA journal_mode=WAL");
      return;
    } catch (const SQLite::Exception& error) {
      const int code = error.getErrorCode() & 0xFF;
      if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
          std::chrono::steady_clock::now() >= deadline) {
        throw;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int HistoryStore::schema_version() { return database_.execAndGet("PRAGMA user_version").getInt(); }

void HistoryStore::migrate() {
  SQLite::Transaction transaction(database_, SQLite::TransactionBehavior::IMMEDIATE);
  const int version = schema_version();
  if (version > kHistorySchemaVersion) {
    throw SQLite::Exception("the history was written by a newer Quillrank (schema version " +
                            std::to_string(version) + ")");
  }
  for (int step = version; step < kHistorySchemaVersion; ++step) {
    database_.exec(kMigrations[step]);
    database_.exec("PRAGMA user_version=" + std::to_string(step + 1));
  }
  transaction.commit();
}

void HistoryStore::transaction(const std::function<void()>& writes) {
  SQLite::Transaction transaction(database_, SQLite::TransactionBehavior::IMMEDIATE);
  writes();
  transaction.commit();
}

std::int64_t HistoryStore::add_run(std::int64_t started_ms, const std::string& engines,
                                   const std::string& source, const std::string& project) {
  SQLite::Statement insert(database_, kInsertRun);
  insert.bind(1, started_ms);
  insert.bind(2, engines);
  insert.bind(3, source);
  insert.bind(4, project);
  insert.exec();
  return database_.getLastInsertRowid();
}

void HistoryStore::add_cell(std::int64_t run_id, const CellRecord& cell) {
  SQLite::Statement& insert = *insert_cell_;
  insert.reset();
  insert.bind(1, run_id);
  insert.bindNoCopy(2, cell.site);
  insert.bindNoCopy(3, cell.keyword);
  insert.bindNoCopy(4, cell.engine);
  insert.bindNoCopy(5, cell.text);
  if (cell.rank) {
    insert.bind(6, *cell.rank);
  } else {
    insert.bind(6);
  }
  insert.bindNoCopy(7, cell.verdict);
  insert.bindNoCopy(8, cell.reason);
  insert.bind(9, cell.time_ms);
  insert.bindNoCopy(10, cell.address);
  insert.exec();
}

void HistoryStore::end_run(std::int64_t run_id, RunState state, std::int64_t ended_ms) {
  SQLite::Statement update(database_, kEndRun);
  update.bind(1, std::string(run_state_name(state)));
  update.bind(2, ended_ms);
  update.bind(3, run_id);
  update.exec();
}

int HistoryStore::rename_project(const std::string& from, const std::string& to) {
  SQLite::Statement update(database_, kRenameProject);
  update.bind(1, from);
  update.bind(2, to);
  return update.exec();
}

std::vector<RunRow> HistoryStore::runs(const ProjectFilter& project) {
  SQLite::Statement query(database_, runs_query(project));
  if (project) query.bind(1, *project);
  std::vector<RunRow> rows;
  while (query.executeStep()) {
    rows.push_back({.id = query.getColumn(0).getInt64(),
                    .started_ms = query.getColumn(1).getInt64(),
                    .engines = query.getColumn(2).getString(),
                    .source = query.getColumn(3).getString(),
                    .project = query.getColumn(4).getString(),
                    .state = run_state_from(query.getColumn(5).getString()),
                    .cells = query.getColumn(6).getInt(),
                    .ranked = query.getColumn(7).getInt()});
  }
  return rows;
}

PastRanks HistoryStore::past_ranks(const std::string& site, const std::string& keyword,
                                   const std::string& engine, std::int64_t before_ms) {
  PastRanks past;
  if (!previous_rank_) {
    previous_rank_.emplace(database_, kPreviousRank);
    best_rank_.emplace(database_, kBestRank);
  }
  SQLite::Statement& previous = *previous_rank_;
  SQLite::Statement& best = *best_rank_;
  for (SQLite::Statement* query : {&previous, &best}) {
    query->bind(1, site);
    query->bind(2, keyword);
    query->bind(3, engine);
    query->bind(4, before_ms);
  }
  if (previous.executeStep()) {
    past.asked_before = true;
    past.previous = optional_int(previous.getColumn(0));
    past.previous_ms = previous.getColumn(1).getInt64();
    past.previous_address = previous.getColumn(2).getString();
  }
  if (best.executeStep()) {
    past.best = best.getColumn(0).getInt();
    past.best_ms = best.getColumn(1).getInt64();
  }
  // Reset at once: a statement left on its row would hold its read snapshot open.
  previous.reset();
  best.reset();
  return past;
}

void HistoryStore::visit_records(const RecordFilter& filter,
                                 const std::function<void(HistoryRecord&&)>& visit) {
  SQLite::Statement query(database_, records_query(filter));
  int index = 0;
  for (const std::string& param : records_params(filter)) query.bind(++index, param);
  while (query.executeStep()) visit(read_record(query));
}

std::vector<LatestRank> HistoryStore::latest_ranks(const ProjectFilter& project) {
  SQLite::Statement query(database_, latest_ranks_query(project));
  if (project) query.bind(1, *project);
  SQLite::Statement previous(database_, kRecordById);
  std::vector<LatestRank> found;
  while (query.executeStep()) {
    LatestRank rank{.latest = read_record(query), .previous = std::nullopt};
    if (!query.getColumn(kRecordColumnCount).isNull()) {
      previous.reset();
      previous.bind(1, query.getColumn(kRecordColumnCount).getInt64());
      if (previous.executeStep()) rank.previous = read_record(previous);
    }
    found.push_back(std::move(rank));
  }
  return found;
}

std::vector<RankMove> HistoryStore::last_moves(const ProjectFilter& project) {
  SQLite::Statement two(database_, last_two_runs_query(project));
  if (project) two.bind(1, *project);
  std::vector<std::int64_t> run_ids;
  while (two.executeStep()) run_ids.push_back(two.getColumn(0).getInt64());
  if (run_ids.size() < 2) return {};
  SQLite::Statement query(database_, kRunCells);
  auto cells_of = [&query](std::int64_t run_id) {
    query.reset();
    query.bind(1, run_id);
    std::vector<MoveCell> cells;
    while (query.executeStep()) {
      cells.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                       query.getColumn(2).getString(), optional_int(query.getColumn(3)),
                       query.getColumn(4).getString()});
    }
    return cells;
  };
  const std::vector<MoveCell> previous = cells_of(run_ids[1]);
  return pair_moves(previous, cells_of(run_ids[0]));
}

}  // namespace quillrank
