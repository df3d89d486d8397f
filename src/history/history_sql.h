// The rank history's queries, one text for both databases: parameters are numbered (?1, ?2, ...),
// which SQLite reads as they are and PgHistoryStore turns into $1, $2, ... Also what both
// stores do alike with the rows they read.
#pragma once

#include <string>
#include <vector>

#include "history/rank_history.h"

namespace quillrank::history_sql {

// The columns a record is read from, of cells c joined with runs r: run id, run start, run
// state, site, keyword, engine, text, rank, verdict, reason, recorded, address, run project.
inline constexpr const char* kRecordColumns =
    "c.run_id, r.started, r.state, c.site, c.keyword, c.engine, c.text, c.rank, c.verdict, "
    "c.reason, c.recorded, c.address, r.project";
inline constexpr int kRecordColumnCount = 13;

inline constexpr const char* kInsertRun =
    "INSERT INTO runs(started, engines, source, project) VALUES(?1, ?2, ?3, ?4)";
inline constexpr const char* kInsertCell =
    "INSERT INTO cells(run_id, site, keyword, engine, text, rank, verdict, reason, recorded, "
    "address) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
inline constexpr const char* kEndRun = "UPDATE runs SET state = ?1, ended = ?2 WHERE id = ?3";
inline constexpr const char* kRenameProject = "UPDATE runs SET project = ?2 WHERE project = ?1";

// The queries below that take a ProjectFilter hold its project as parameter ?1 when it names
// one, and no parameter when it covers every run.

// Each run: id, start, engines, source, project, state, cells, ranked.
std::string runs_query(const ProjectFilter& project);

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
std::string latest_ranks_query(const ProjectFilter& project);
inline const std::string kRecordById = std::string("SELECT ") + kRecordColumns +
                                       " FROM cells c JOIN runs r ON r.id = c.run_id "
                                       "WHERE c.id = ?1";

// The last two completed runs that recorded anything, latest first: runs that recorded nothing
// (an empty list, no engine ticked) are no runs to compare.
std::string last_two_runs_query(const ProjectFilter& project);
inline constexpr const char* kRunCells =
    "SELECT site, keyword, engine, rank, address FROM cells WHERE run_id = ?1 ORDER BY id";

// The records `filter` lets through, oldest run first; its texts given are the parameters, in
// the order site, keyword, engine, project. Only they go into the query, so the key index
// serves a site's history.
std::string records_query(const RecordFilter& filter);
// The parameters of records_query(filter), in order.
std::vector<std::string> records_params(const RecordFilter& filter);

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
