// The history database: schema versions, and the reads the window and quillrank-history make.
#include "history/history_store.h"

#include <SQLiteCpp/Transaction.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "history/every_store.h"
#include "history/pg_history_store.h"
#include "history/temp_history.h"

namespace quillrank {
namespace {

using testing::temp_history;

CellRecord cell(std::string engine, std::optional<int> rank, std::int64_t time_ms,
                std::string keyword = "seo") {
  return {.site = "shop.example",
          .keyword = std::move(keyword),
          .engine = std::move(engine),
          .text = rank ? "第" + std::to_string(*rank) + "名" : "排在300后",
          .rank = rank,
          .verdict = "result",
          .reason = "第1页找到",
          .time_ms = time_ms,
          .address = rank ? "http://shop.example/p" + std::to_string(*rank) : ""};
}

// One run of `project` with `cells`, ended as `state`; its id.
std::int64_t add_run(RankHistory& store, RunState state, const std::vector<CellRecord>& cells,
                     const std::string& project = "") {
  std::int64_t id = 0;
  store.transaction([&] {
    id = store.add_run(cells.empty() ? 0 : cells[0].time_ms, "baidu", "batch", project);
    for (const CellRecord& c : cells) store.add_cell(id, c);
    if (state != RunState::running) store.end_run(id, state, 0);
  });
  return id;
}

using testing::EveryStore;
QUILLRANK_ON_EVERY_STORE(EveryStore);

TEST_P(EveryStore, CreatesTheNewestSchemaAndKeepsItsRecordsWhenReopened) {
  {
    const std::unique_ptr<RankHistory> store = open();
    EXPECT_EQ(store->schema_version(), kHistorySchemaVersion);
    add_run(*store, RunState::completed, {cell("baidu", 3, 10)});
  }
  EXPECT_EQ(open()->runs().size(), 1u) << "reopening migrates nothing away";
  EXPECT_EQ(open_history_for_reading(location_, 1000)->schema_version(), kHistorySchemaVersion);
  EXPECT_EQ(open_history_for_reading(location_, 1000)->runs().size(), 1u);
}

TEST(PgHistoryStore, RefusesADatabaseOfANewerSchemaAndOneWithoutTheHistory) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string empty = server->new_database();
  EXPECT_THROW(open_history_for_reading(empty, 1000), std::runtime_error);
  const std::string newer = server->new_database();
  open_history_for_writing(newer, 1000);
  PgConnection::connect(newer, 1000).exec("UPDATE quillrank_schema SET version = 99");
  EXPECT_THROW(open_history_for_writing(newer, 1000), std::runtime_error);
  EXPECT_THROW(open_history_for_reading(newer, 1000), std::runtime_error);
}

// A store opened at the first version by hand is brought up to date like a file: the migrations
// go by version, keeping the records.
TEST(PgHistoryStore, BringsAnOlderSchemaUpToDateKeepingItsRecords) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string url = server->new_database();
  open_history_for_writing(url, 1000);
  {
    PgConnection db = PgConnection::connect(url, 1000);
    db.exec("ALTER TABLE cells DROP COLUMN address");
    db.exec("ALTER TABLE runs DROP COLUMN project");
    db.exec("DROP INDEX cells_by_key_rank");
    db.exec("UPDATE quillrank_schema SET version = 1");
    db.exec(
        "INSERT INTO runs(started, engines, source, state) VALUES(5, 'baidu', 'batch', "
        "'completed')");
    db.exec(
        "INSERT INTO cells(run_id, site, keyword, engine, text, rank, verdict, reason, recorded) "
        "SELECT id, 'shop.example', 'seo', 'baidu', 't', 4, 'result', '', 5 FROM runs");
  }
  const std::unique_ptr<RankHistory> store = open_history_for_writing(url, 1000);
  EXPECT_EQ(store->schema_version(), kHistorySchemaVersion);
  const std::vector<HistoryRecord> kept = store->records({});
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].cell.rank, 4);
  EXPECT_EQ(kept[0].cell.address, "");
}

TEST(PgHistoryStore, AServerThatIsNotThereIsAnErrorThatNeverShowsThePassword) {
  const std::string url = "postgresql://quill:s3cret@/history?host=/nonexistent-quillrank";
  try {
    open_history_for_writing(url, 1000);
    ADD_FAILURE() << "no server, yet it opened";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()).find("s3cret"), std::string::npos) << error.what();
  }
}

TEST(HistoryStore, CreatesTheNewestSchemaInWalModeAndReopens) {
  const std::string path = temp_history("schema");
  {
    HistoryStore store = HistoryStore::open_for_writing(path, 1000);
    EXPECT_EQ(store.schema_version(), kHistorySchemaVersion);
    EXPECT_EQ(store.database().execAndGet("PRAGMA journal_mode").getString(), "wal");
    add_run(store, RunState::completed, {cell("baidu", 3, 10)});
  }
  HistoryStore again = HistoryStore::open_for_writing(path, 1000);
  EXPECT_EQ(again.runs().size(), 1u) << "reopening migrates nothing away";
  EXPECT_EQ(HistoryStore::open_for_reading(path, 1000).runs().size(), 1u);
}

// Programs that create one new history at the same moment (two batches started together, or
// the window and a batch) all get it, in WAL mode at the newest schema. Processes, not threads:
// SQLite's file locks are a process's own.
TEST(HistoryStore, ProgramsCreatingOneNewFileAtOnceAllGetIt) {
  constexpr int kPrograms = 6;
  for (int round = 0; round < 25; ++round) {
    const std::string path = temp_history("created-at-once");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> programs;
    for (int i = 0; i < kPrograms; ++i) {
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(gate[1]);
        char byte;
        (void)!read(gate[0], &byte, 1);  // returns when the gate closes: all start together
        try {
          HistoryStore store = HistoryStore::open_for_writing(path, 3000);
          const bool ready =
              store.schema_version() == kHistorySchemaVersion &&
              store.database().execAndGet("PRAGMA journal_mode").getString() == "wal";
          _exit(ready ? 0 : 2);
        } catch (...) {
          _exit(1);
        }
      }
      programs.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    for (const pid_t pid : programs) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
  }
}

TEST(HistoryStore, BringsAFirstVersionDatabaseUpToDateKeepingItsRecords) {
  const std::string path = temp_history("first-version");
  {
    // The first schema, as the first release wrote it.
    SQLite::Database first(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    first.exec(
        "CREATE TABLE runs(id INTEGER PRIMARY KEY, started INTEGER NOT NULL, engines TEXT NOT "
        "NULL, source TEXT NOT NULL, state TEXT NOT NULL DEFAULT 'running', ended INTEGER);"
        "CREATE TABLE cells(id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES runs(id), "
        "site TEXT NOT NULL, keyword TEXT NOT NULL, engine TEXT NOT NULL, text TEXT NOT NULL, "
        "rank INTEGER, verdict TEXT NOT NULL, reason TEXT NOT NULL, recorded INTEGER NOT NULL);"
        "CREATE INDEX cells_by_key ON cells(site, keyword, engine, run_id);"
        "CREATE INDEX cells_by_run ON cells(run_id);"
        "INSERT INTO runs VALUES(1, 10, 'baidu', 'batch', 'completed', 20);"
        "INSERT INTO cells VALUES(1, 1, 'shop.example', 'seo', 'baidu', '第3名', 3, 'result', "
        "'', 15);"
        "PRAGMA user_version=1;");
  }
  HistoryStore store = HistoryStore::open_for_writing(path, 1000);
  EXPECT_EQ(store.schema_version(), kHistorySchemaVersion);
  EXPECT_EQ(store.database()
                .execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE name = 'cells_by_key_rank'")
                .getInt(),
            1);
  EXPECT_EQ(store.past_ranks("shop.example", "seo", "baidu", 100).best, 3);
}

// The second version's cells gain the address that ranks; what they held stays, with none.
TEST(HistoryStore, BringsASecondVersionDatabaseUpToDateWithAnAddressPerCell) {
  const std::string path = temp_history("second-version");
  {
    HistoryStore first = HistoryStore::open_for_writing(path, 1000);
    // Back to the second schema, as the release before the address wrote it.
    first.database().exec(
        "DROP TABLE cells;"
        "ALTER TABLE runs DROP COLUMN project;"
        "CREATE TABLE cells(id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES runs(id), "
        "site TEXT NOT NULL, keyword TEXT NOT NULL, engine TEXT NOT NULL, text TEXT NOT NULL, "
        "rank INTEGER, verdict TEXT NOT NULL, reason TEXT NOT NULL, recorded INTEGER NOT NULL);"
        "CREATE INDEX cells_by_key ON cells(site, keyword, engine, run_id);"
        "CREATE INDEX cells_by_run ON cells(run_id);"
        "CREATE INDEX cells_by_key_rank ON cells(site, keyword, engine, rank);"
        "INSERT INTO runs VALUES(1, 10, 'baidu', 'batch', 'completed', 20);"
        "INSERT INTO cells VALUES(1, 1, 'shop.example', 'seo', 'baidu', '第3名', 3, 'result', "
        "'', 15);"
        "PRAGMA user_version=2;");
  }
  HistoryStore store = HistoryStore::open_for_writing(path, 1000);
  EXPECT_EQ(store.schema_version(), kHistorySchemaVersion);
  const std::int64_t run = add_run(store, RunState::completed, {cell("baidu", 2, 30)});
  const std::vector<HistoryRecord> row = store.row_history("shop.example", "seo");
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(row[0].cell.rank, 3);
  EXPECT_EQ(row[0].cell.address, "");
  EXPECT_EQ(row[1].run_id, run);
  EXPECT_EQ(row[1].cell.address, "http://shop.example/p2");
}

TEST(HistoryStore, RefusesADatabaseOfANewerSchemaAndOneThatIsNoHistory) {
  const std::string newer = temp_history("newer");
  {
    SQLite::Database database(newer, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    database.exec("PRAGMA user_version=" + std::to_string(kHistorySchemaVersion + 1));
  }
  EXPECT_THROW(HistoryStore::open_for_writing(newer, 100), SQLite::Exception);
  EXPECT_THROW(HistoryStore::open_for_reading(newer, 100), SQLite::Exception);
  const std::string empty = temp_history("empty");
  { SQLite::Database database(empty, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE); }
  EXPECT_THROW(HistoryStore::open_for_reading(empty, 100), SQLite::Exception);
  EXPECT_THROW(HistoryStore::open_for_reading(temp_history("missing"), 100), SQLite::Exception);
}

TEST_P(EveryStore, PastRanksComeFromTheLatestCompletedRunAndTheBestFromAnyRun) {
  constexpr std::int64_t kLater = 10000;  // after every run below
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  EXPECT_FALSE(store.past_ranks("shop.example", "seo", "baidu", kLater).asked_before);
  add_run(store, RunState::completed, {cell("baidu", 9, 100), cell("google", 4, 100)});
  add_run(store, RunState::completed, {cell("baidu", 7, 200)});  // google not asked
  add_run(store, RunState::stopped, {cell("baidu", 2, 300)});    // stopped: not "previous"
  add_run(store, RunState::running, {cell("baidu", 5, 400)});    // the run going on

  const PastRanks baidu = store.past_ranks("shop.example", "seo", "baidu", kLater);
  EXPECT_TRUE(baidu.asked_before);
  EXPECT_EQ(baidu.previous, 7);
  EXPECT_EQ(baidu.previous_ms, 200);
  EXPECT_EQ(baidu.best, 2);
  EXPECT_EQ(baidu.best_ms, 300);
  const PastRanks google = store.past_ranks("shop.example", "seo", "google", kLater);
  EXPECT_EQ(google.previous, 4) << "the latest completed run that has a cell for it";
  EXPECT_EQ(google.previous_ms, 100);

  add_run(store, RunState::completed, {cell("baidu", std::nullopt, 500)});
  const PastRanks unranked = store.past_ranks("shop.example", "seo", "baidu", kLater);
  EXPECT_TRUE(unranked.asked_before);
  EXPECT_EQ(unranked.previous, std::nullopt);
  EXPECT_EQ(unranked.best, 2);
  const PastRanks before_it = store.past_ranks("shop.example", "seo", "baidu", 500);
  EXPECT_EQ(before_it.previous, 7) << "a run is never its own past, even once completed";
  EXPECT_FALSE(store.past_ranks("shop.example", "other", "baidu", kLater).asked_before);
}

TEST_P(EveryStore, RecordsAreFilteredAndListedOldestFirst) {
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  const std::int64_t first = add_run(
      store, RunState::completed,
      {cell("baidu", 3, 10), cell("google", std::nullopt, 11), cell("baidu", 8, 12, "other")});
  const std::int64_t second = add_run(store, RunState::stopped, {cell("baidu", 1, 20)});

  const std::vector<HistoryRecord> row = store.row_history("shop.example", "seo");
  ASSERT_EQ(row.size(), 3u);
  EXPECT_EQ(row[0].run_id, first);
  EXPECT_EQ(row[0].cell.text, "第3名");
  EXPECT_EQ(row[1].cell.engine, "google");
  EXPECT_EQ(row[1].cell.rank, std::nullopt);
  EXPECT_EQ(row[2].run_id, second);
  EXPECT_EQ(row[2].run_state, RunState::stopped);
  EXPECT_EQ(row[2].cell.reason, "第1页找到");
  EXPECT_EQ(row[0].cell.address, "http://shop.example/p3");
  EXPECT_EQ(row[1].cell.address, "");

  EXPECT_EQ(store.records({.engine = "baidu"}).size(), 3u);
  EXPECT_EQ(store.records({.keyword = "other"}).size(), 1u);
  EXPECT_EQ(store.records({.site = "elsewhere.example"}).size(), 0u);
  EXPECT_EQ(store.records({}).size(), 4u);

  const std::vector<RunRow> runs = store.runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].cells, 3);
  EXPECT_EQ(runs[0].ranked, 2);
  EXPECT_EQ(runs[0].state, RunState::completed);
  EXPECT_EQ(runs[1].state, RunState::stopped);
}

TEST_P(EveryStore, LatestRanksPairEachKeyWithItsPreviousCompletedRun) {
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  add_run(store, RunState::completed, {cell("baidu", 9, 10), cell("google", 4, 10)});
  add_run(store, RunState::stopped, {cell("baidu", 6, 20)});
  add_run(store, RunState::completed, {cell("baidu", 5, 30)});

  const std::vector<LatestRank> latest = store.latest_ranks();
  ASSERT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest[0].latest.cell.engine, "baidu");
  EXPECT_EQ(latest[0].latest.cell.rank, 5);
  ASSERT_TRUE(latest[0].previous);
  EXPECT_EQ(latest[0].previous->cell.rank, 9) << "the stopped run is skipped";
  EXPECT_EQ(latest[1].latest.cell.engine, "google");
  EXPECT_EQ(latest[1].previous, std::nullopt);
}

TEST_P(EveryStore, LastMovesCompareTheLastTwoCompletedRuns) {
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  add_run(store, RunState::completed,
          {cell("baidu", 9, 10), cell("google", std::nullopt, 10), cell("baidu", 5, 10, "other")});
  EXPECT_TRUE(store.last_moves().empty()) << "one completed run has nothing to compare";
  add_run(store, RunState::completed,
          {cell("baidu", 4, 20), cell("google", 2, 20), cell("sogou", 1, 20)});
  add_run(store, RunState::stopped, {cell("baidu", 1, 30)});
  add_run(store, RunState::completed, {});  // an empty list ranked: nothing to compare with

  // "other" (not asked again) and sogou (not asked before) did not move.

  std::vector<RankMove> moves = store.last_moves();
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].engine, "baidu");
  EXPECT_EQ(moves[0].previous, 9);
  EXPECT_EQ(moves[0].current, 4);
  EXPECT_EQ(moves[1].engine, "google");
  EXPECT_EQ(moves[1].previous, std::nullopt);
  EXPECT_EQ(moves[1].current, 2);
  EXPECT_EQ(moves[0].previous_address, "http://shop.example/p9");
  EXPECT_EQ(moves[0].current_address, "http://shop.example/p4");
  EXPECT_EQ(moves[1].previous_address, "");
  EXPECT_EQ(moves[1].current_address, "http://shop.example/p2");
}

// A history of the third version, from before runs had a project: each of its runs becomes one
// of no project, and new runs keep theirs.
TEST_P(EveryStore, BringsAThirdVersionHistoryUpToDateWithRunsOfNoProject) {
  add_run(*open(), RunState::completed, {cell("baidu", 3, 10)});
  const std::string back_to_third =
      GetParam() == "sqlite"
          ? "ALTER TABLE runs DROP COLUMN project; PRAGMA user_version=3;"
          : "ALTER TABLE runs DROP COLUMN project; UPDATE quillrank_schema SET version = 3;";
  if (GetParam() == "sqlite") {
    SQLite::Database(location_, SQLite::OPEN_READWRITE).exec(back_to_third);
  } else {
    PgConnection::connect(location_, 1000).exec(back_to_third);
  }
  EXPECT_EQ(open_history_for_reading(location_, 1000)->schema_version(), 3);
  const std::unique_ptr<RankHistory> store = open();
  EXPECT_EQ(store->schema_version(), kHistorySchemaVersion);
  add_run(*store, RunState::completed, {cell("baidu", 2, 20)}, "客户 A");
  const std::vector<RunRow> runs = store->runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].project, "");
  EXPECT_EQ(runs[0].cells, 1) << "the old run keeps its cell";
  EXPECT_EQ(runs[1].project, "客户 A");
  const std::vector<HistoryRecord> records = store->records({});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].run_project, "");
  EXPECT_EQ(records[1].run_project, "客户 A");
}

// Three projects' runs interleaved: what each read gives for every run, one project's runs, the
// runs of none and a project that ran nothing.
TEST_P(EveryStore, ReadsTheRunsOfOneProjectApartFromTheOthers) {
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  const std::int64_t p1 = add_run(store, RunState::completed, {cell("baidu", 9, 10)}, "p");
  const std::int64_t q1 = add_run(store, RunState::completed, {cell("baidu", 1, 20)}, "q");
  const std::int64_t none = add_run(store, RunState::completed, {cell("baidu", 30, 30)});
  const std::int64_t p2 = add_run(store, RunState::completed, {cell("baidu", 5, 40)}, "p");
  const std::int64_t q2 = add_run(store, RunState::completed, {cell("baidu", 2, 50)}, "q");
  struct Case {
    ProjectFilter project;
    std::vector<std::int64_t> runs;  // runs(), and whose records records() gives
    std::optional<int> latest;       // the latest rank of the key
    std::optional<int> previous;     // ... and the one before it
    std::optional<int> moved_from;   // the last moves' previous rank (nullopt: no move)
  };
  const Case cases[] = {
      {kAnyProject, {p1, q1, none, p2, q2}, 2, 5, 5},
      {"p", {p1, p2}, 5, 9, 9},
      {"q", {q1, q2}, 2, 1, 1},
      {"", {none}, 30, std::nullopt, std::nullopt},
      {"r", {}, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.project.value_or("(any)"));
    std::vector<std::int64_t> listed, recorded;
    for (const RunRow& run : store.runs(c.project)) listed.push_back(run.id);
    for (const HistoryRecord& record : store.records({.keyword = "seo", .project = c.project})) {
      recorded.push_back(record.run_id);
      if (c.project) {
        EXPECT_EQ(record.run_project, *c.project);
      }
    }
    EXPECT_EQ(listed, c.runs);
    EXPECT_EQ(recorded, c.runs);
    const std::vector<LatestRank> latest = store.latest_ranks(c.project);
    ASSERT_EQ(latest.size(), c.latest ? 1u : 0u);
    if (c.latest) {
      EXPECT_EQ(latest[0].latest.cell.rank, c.latest);
      EXPECT_EQ(latest[0].previous ? latest[0].previous->cell.rank : std::nullopt, c.previous);
    }
    const std::vector<RankMove> moves = store.last_moves(c.project);
    ASSERT_EQ(moves.size(), c.moved_from ? 1u : 0u);
    if (c.moved_from) {
      EXPECT_EQ(moves[0].previous, c.moved_from);
      EXPECT_EQ(moves[0].current, c.latest);
    }
  }
}

// A project renamed takes its runs along; runs of other projects and of none stay theirs.
TEST_P(EveryStore, ARenamedProjectTakesItsRunsAlong) {
  const std::unique_ptr<RankHistory> opened = open();
  RankHistory& store = *opened;
  const std::int64_t p1 = add_run(store, RunState::completed, {cell("baidu", 9, 10)}, "p");
  const std::int64_t q = add_run(store, RunState::completed, {cell("baidu", 1, 20)}, "q");
  const std::int64_t none = add_run(store, RunState::completed, {cell("baidu", 3, 30)});
  const std::int64_t p2 = add_run(store, RunState::stopped, {cell("baidu", 5, 40)}, "p");
  EXPECT_EQ(store.rename_project("p", "客户 B"), 2);
  EXPECT_EQ(store.rename_project("gone", "x"), 0);
  const auto ids = [&](const ProjectFilter& project) {
    std::vector<std::int64_t> listed;
    for (const RunRow& run : store.runs(project)) listed.push_back(run.id);
    return listed;
  };
  EXPECT_EQ(ids("客户 B"), (std::vector<std::int64_t>{p1, p2}));
  EXPECT_EQ(ids("p"), std::vector<std::int64_t>{});
  EXPECT_EQ(ids("q"), std::vector<std::int64_t>{q});
  EXPECT_EQ(ids(""), std::vector<std::int64_t>{none});
}

}  // namespace
}  // namespace quillrank
