// The rank history's queries, one text for both databases: parameters are numbered (?1, ?2, ...),
// which SQLite reads as they are and PgHistoryStore turns into $1, $2, ... Also what both
// stores do alike with the rows they read.
#pragma once

#include <string>
#include <vector>

#include "history/rank_history.h"

namespace quillrank::history_sql {

// The columns a record is read from, of cells c joined with runs r: run id, run start, run
// state, site, keyword, engine, text, rank, verdict, reason, recorded, address.
inline constexpr const char* kRecordColumns =
    "c.run_id, r.started, r.state, c.site, c.keyword, c.engine, c.text, c.rank, c.verdict, "
    "c.reason, c.recorded, c.address";
inline constexpr int kRecordColumnCount = 12;

inline constexpr const char* kInsertRun =
    "INSERT INTO runs(started, engines, source) VALUES(?1, ?2, ?3)";
inline constexpr const char* kInsertCell =
    "INSERT INTO cells(run_id, site, keyword, engine, text, rank, verdict, reason, recorded, "
    "address) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
inline constexpr const char* kEndRun = "UPDATE runs SET state = ?1, ended = ?2 WHERE id = ?3";

inline constexpr const char* kRuns =
    "SELECT r.id, r.started, r.engines, r.source, r.state, "
    "(SELECT COUNT(*) FROM cells c WHERE c.run_id = r.id), "
    "(SELECT COUNT(rank) FROM cells c WHERE c.run_id = r.id) "
    "FROM runs r ORDER BY r.id";

// Site, keyword, engine, before: the rank, time and address of the latest completed run's cell.
inline constexpr const char* kPreviousRank =
    "SELECT c.rank, c.recorded, c.address FROM cells c JOIN runs r ON r.id = c.run_id "
    "WHERE c.site = ?1 AND c.keyword = ?2 AND c.engine = ?3 "
    "AND r.state = 'completed' AND r.started < ?4 "
    "ORDER BY c.run_id DESC, c.id DESC LIMIT 1";
// Site, keyword, engine, before: the best rank any run recorded, and when first.
inline constexpr const char* kBestRank =
    "SELECT c.rank, c.recorded FROM cells c JOIN runs r ON r.id = c.run_id "
    "WHERE c.site = ?1 AND c.keyword = ?2 AND c.engine = ?3 AND "
    "c.rank IS NOT NULL AND r.started < ?4 ORDER BY c.rank, c.recorded LIMIT 1";

// Each key's latest record, then the id of the latest completed run's cell before it (or null).
inline const std::string kLatestRanks =
    std::string(
        "WITH latest AS (SELECT id, ROW_NUMBER() OVER (PARTITION BY site, keyword, "
        "engine ORDER BY run_id DESC, id DESC) AS n FROM cells) SELECT ") +
    kRecordColumns +
    ", (SELECT p.id FROM cells p JOIN runs pr ON pr.id = p.run_id WHERE p.site = c.site "
    "AND p.keyword = c.keyword AND p.engine = c.engine AND p.run_id < c.run_id AND "
    "pr.state = 'completed' ORDER BY p.run_id DESC, p.id DESC LIMIT 1) "
    "FROM latest l JOIN cells c ON c.id = l.id JOIN runs r ON r.id = c.run_id "
    "WHERE l.n = 1 ORDER BY c.site, c.keyword, c.engine";
inline const std::string kRecordById = std::string("SELECT ") + kRecordColumns +
                                       " FROM cells c JOIN runs r ON r.id = c.run_id "
                                       "WHERE c.id = ?1";

// Runs that recorded nothing (an empty list, no engine ticked) are no runs to compare.
inline constexpr const char* kLastTwoRuns =
    "SELECT id FROM runs r WHERE state = 'completed' AND EXISTS (SELECT 1 "
    "FROM cells c WHERE c.run_id = r.id) ORDER BY id DESC LIMIT 2";
inline constexpr const char* kRunCells =
    "SELECT site, keyword, engine, rank, address FROM cells WHERE run_id = ?1 ORDER BY id";

// Every record whose fields equal the filters given (empty: any), oldest first; the filters
// given are the parameters, in the order site, keyword, engine. Only they go into the query,
// so the key index serves a site's history.
std::string records_query(const std::string& site, const std::string& keyword,
                          const std::string& engine);

// One cell of a run as last_moves reads it.
struct MoveCell {
  std::string site, keyword, engine;
  std::optional<int> rank;
  std::string address;
};
// The moves between two runs' cells: the keys both runs asked, by site, keyword and engine.
std::vector<RankMove> pair_moves(const std::vector<MoveCell>& previous,
                                 const std::vector<MoveCell>& current);

}  // namespace quillrank::history_sql
