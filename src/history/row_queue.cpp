#include "history/row_queue.h"

#include <algorithm>

#include "history/history_sql.h"
#include "history/history_writer.h"

namespace quillrank {
namespace {

// The queue beside the history's tables, made by the first machine that queues or works.
constexpr const char* kQueueTables = R"sql(
SELECT pg_advisory_xact_lock(7316002);
CREATE TABLE IF NOT EXISTS queue_rows(
  run_id BIGINT NOT NULL REFERENCES runs(id),
  row_no INTEGER NOT NULL,
  site TEXT NOT NULL,
  keyword TEXT NOT NULL,
  PRIMARY KEY(run_id, row_no));
CREATE TABLE IF NOT EXISTS queue_cells(
  run_id BIGINT NOT NULL,
  row_no INTEGER NOT NULL,
  engine TEXT NOT NULL,
  owner TEXT,
  lease_until TIMESTAMPTZ,
  cell_id BIGINT REFERENCES cells(id),
  PRIMARY KEY(run_id, row_no, engine),
  FOREIGN KEY(run_id, row_no) REFERENCES queue_rows(run_id, row_no));
CREATE INDEX IF NOT EXISTS queue_cells_open ON queue_cells(engine, run_id, row_no)
  WHERE cell_id IS NULL;
)sql";

constexpr const char* kClaim = R"sql(
WITH next AS (
  SELECT run_id, row_no, engine FROM queue_cells
  WHERE engine = $1 AND cell_id IS NULL AND (owner IS NULL OR lease_until < clock_timestamp())
  ORDER BY run_id, row_no LIMIT 1 FOR UPDATE SKIP LOCKED),
claimed AS (
  UPDATE queue_cells q SET owner = $2,
    lease_until = clock_timestamp() + $3::bigint * interval '1 millisecond'
  FROM next WHERE q.run_id = next.run_id AND q.row_no = next.row_no AND q.engine = next.engine
  RETURNING q.run_id, q.row_no)
SELECT c.run_id, c.row_no, r.site, r.keyword FROM claimed c JOIN queue_rows r USING (run_id, row_no)
)sql";

std::string joined(const std::vector<std::string>& keys) {
  std::string text;
  for (const std::string& key : keys) text += (text.empty() ? "" : ",") + key;
  return text;
}

std::vector<std::string> split_keys(const std::string& text) {
  std::vector<std::string> keys;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    keys.push_back(text.substr(begin, comma - begin));
    begin = comma + 1;
  }
  return keys;
}

}  // namespace

RowQueue RowQueue::open(const std::string& url, int timeout_ms, std::string owner) {
  RowQueue queue(PgHistoryStore::open_for_writing(url, timeout_ms), std::move(owner));
  queue.db().in_transaction([&] { queue.db().exec(kQueueTables); });
  return queue;
}

std::int64_t RowQueue::enqueue(const std::vector<std::string>& engines,
                               const std::vector<QueuedRow>& rows,
                               const std::vector<std::pair<int, CellRecord>>& decided,
                               const std::string& project) {
  return db().in_transaction([&] {
    const std::int64_t run_id = store_.add_run(now_ms(), joined(engines), "queue", project);
    const std::string run = std::to_string(run_id);
    // Rows and cells go in as arrays: one statement each, however long the list.
    std::vector<PgParam> sites, keywords, keys(engines.begin(), engines.end());
    for (const QueuedRow& row : rows) {
      sites.push_back(row.site);
      keywords.push_back(row.keyword);
    }
    db().exec(
        "INSERT INTO queue_rows(run_id, row_no, site, keyword) SELECT $1, n - 1, s, k FROM "
        "unnest($2::text[], $3::text[]) WITH ORDINALITY AS t(s, k, n)",
        {run, pg_array(sites), pg_array(keywords)});
    db().exec(
        "INSERT INTO queue_cells(run_id, row_no, engine) SELECT $1, r.row_no, e FROM "
        "queue_rows r, unnest($2::text[]) AS e WHERE r.run_id = $1",
        {run, pg_array(keys)});
    for (const auto& [row, cell] : decided) {
      const std::int64_t cell_id =
          db().exec(pg_sql(history_sql::kInsertCell) + " RETURNING id", cell_params(run_id, cell))
              .number(0, 0);
      db().exec(
          "UPDATE queue_cells SET cell_id = $1 WHERE run_id = $2 AND row_no = $3 AND engine = $4",
          {std::to_string(cell_id), run, std::to_string(row), cell.engine});
    }
    complete_run_when_done(run);  // a run with nothing to ask is done at once
    return run_id;
  });
}

void RowQueue::complete_run_when_done(const std::string& run_id) {
  db().exec_prepared("run_done",
                     "UPDATE runs SET state = 'completed', ended = $2 WHERE id = $1 AND state = "
                     "'running' AND NOT EXISTS (SELECT 1 FROM queue_cells WHERE run_id = $1 AND "
                     "cell_id IS NULL)",
                     {run_id, std::to_string(now_ms())});
}

std::optional<RunState> RowQueue::state(std::int64_t run_id) {
  const PgResult found =
      db().exec_prepared("run_state", "SELECT state FROM runs WHERE id = $1 AND source = 'queue'",
                         {std::to_string(run_id)});
  if (found.rows() == 0) return std::nullopt;
  return run_state_from(found.text(0, 0));
}

std::optional<ClaimedCell> RowQueue::claim(const std::string& engine,
                                           std::chrono::milliseconds lease) {
  const PgResult claimed =
      db().exec_prepared("claim", kClaim, {engine, owner_, std::to_string(lease.count())});
  if (claimed.rows() == 0) return std::nullopt;
  return ClaimedCell{.run_id = claimed.number(0, 0),
                     .row = static_cast<int>(claimed.number(0, 1)),
                     .engine = engine,
                     .asked = {claimed.text(0, 2), claimed.text(0, 3)}};
}

int RowQueue::renew(std::chrono::milliseconds lease) {
  return db()
      .exec_prepared("renew",
                     "UPDATE queue_cells SET lease_until = clock_timestamp() + $2::bigint * "
                     "interval '1 millisecond' WHERE owner = $1 AND cell_id IS NULL",
                     {owner_, std::to_string(lease.count())})
      .affected();
}

bool RowQueue::complete(const ClaimedCell& claimed, const CellRecord& cell) {
  const std::string run = std::to_string(claimed.run_id);
  const std::string row = std::to_string(claimed.row);
  return db().in_transaction([&] {
    // The run's row first: completions of one run take turns, so the last one sees every other.
    db().exec_prepared("lock_run", "SELECT id FROM runs WHERE id = $1 FOR UPDATE", {run});
    const PgResult held = db().exec_prepared(
        "held",
        "SELECT 1 FROM queue_cells WHERE run_id = $1 AND row_no = $2 AND engine = $3 AND "
        "owner = $4 AND cell_id IS NULL FOR UPDATE",
        {run, row, claimed.engine, owner_});
    if (held.rows() == 0) return false;
    const std::int64_t cell_id =
        db().exec_prepared("queued_cell", pg_sql(history_sql::kInsertCell) + " RETURNING id",
                           cell_params(claimed.run_id, cell))
            .number(0, 0);
    db().exec_prepared("done",
                       "UPDATE queue_cells SET cell_id = $4, owner = NULL, lease_until = NULL "
                       "WHERE run_id = $1 AND row_no = $2 AND engine = $3",
                       {run, row, claimed.engine, std::to_string(cell_id)});
    complete_run_when_done(run);
    return true;
  });
}

int RowQueue::open_cells(const std::string& engine) {
  return static_cast<int>(
      db().exec_prepared("open_cells",
                         "SELECT COUNT(*) FROM queue_cells WHERE engine = $1 AND cell_id IS NULL",
                         {engine})
          .number(0, 0));
}

std::optional<QueuedRun> RowQueue::run(std::int64_t run_id) {
  const std::string run = std::to_string(run_id);
  const PgResult found =
      db().exec("SELECT engines FROM runs WHERE id = $1 AND source = 'queue'", {run});
  if (found.rows() == 0) return std::nullopt;
  QueuedRun queued{.engines = split_keys(found.text(0, 0)), .rows = {}, .cells = {}};
  const PgResult rows =
      db().exec("SELECT site, keyword FROM queue_rows WHERE run_id = $1 ORDER BY row_no", {run});
  for (int row = 0; row < rows.rows(); ++row) {
    queued.rows.push_back({rows.text(row, 0), rows.text(row, 1)});
  }
  queued.cells.assign(queued.rows.size(),
                      std::vector<std::optional<CellRecord>>(queued.engines.size()));
  const PgResult cells = db().exec(
      "SELECT q.row_no, c.engine, c.text, c.rank, c.verdict, c.reason, c.recorded, c.address "
      "FROM queue_cells q JOIN cells c ON c.id = q.cell_id WHERE q.run_id = $1",
      {run});
  for (int at = 0; at < cells.rows(); ++at) {
    const auto row = static_cast<std::size_t>(cells.number(at, 0));
    const auto engine = std::find(queued.engines.begin(), queued.engines.end(), cells.text(at, 1));
    if (row >= queued.rows.size() || engine == queued.engines.end()) continue;
    queued.cells[row][static_cast<std::size_t>(engine - queued.engines.begin())] =
        CellRecord{.site = queued.rows[row].site,
                   .keyword = queued.rows[row].keyword,
                   .engine = cells.text(at, 1),
                   .text = cells.text(at, 2),
                   .rank = cells.optional_int(at, 3),
                   .verdict = cells.text(at, 4),
                   .reason = cells.text(at, 5),
                   .time_ms = cells.number(at, 6),
                   .address = cells.text(at, 7)};
  }
  return queued;
}

}  // namespace quillrank
