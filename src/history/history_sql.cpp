#include "history/history_sql.h"

#include <map>
#include <tuple>

namespace quillrank::history_sql {

namespace {

// " AND <runs>.project = ?1" when `project` names one; "" when it covers every run.
std::string project_condition(const ProjectFilter& project, const char* runs) {
  return project ? std::string(" AND ") + runs + ".project = ?1" : std::string();
}

}  // namespace

std::string runs_query(const ProjectFilter& project) {
  return "SELECT r.id, r.started, r.engines, r.source, r.project, r.state, "
         "(SELECT COUNT(*) FROM cells c WHERE c.run_id = r.id), "
         "(SELECT COUNT(rank) FROM cells c WHERE c.run_id = r.id) "
         "FROM runs r WHERE TRUE" +
         project_condition(project, "r") + " ORDER BY r.id";
}

std::string latest_ranks_query(const ProjectFilter& project) {
  const std::string run_of_project = project ? " JOIN runs lr ON lr.id = cells.run_id WHERE TRUE" +
                                                   project_condition(project, "lr")
                                             : std::string();
  return "WITH latest AS (SELECT cells.id, ROW_NUMBER() OVER (PARTITION BY site, keyword, "
         "engine ORDER BY run_id DESC, cells.id DESC) AS n FROM cells" +
         run_of_project + ") SELECT " + kRecordColumns +
         ", (SELECT p.id FROM cells p JOIN runs pr ON pr.id = p.run_id WHERE p.site = c.site "
         "AND p.keyword = c.keyword AND p.engine = c.engine AND p.run_id < c.run_id AND "
         "pr.state = 'completed'" +
         project_condition(project, "pr") +
         " ORDER BY p.run_id DESC, p.id DESC LIMIT 1) "
         "FROM latest l JOIN cells c ON c.id = l.id JOIN runs r ON r.id = c.run_id "
         "WHERE l.n = 1 ORDER BY c.site, c.keyword, c.engine";
}

std::string last_two_runs_query(const ProjectFilter& project) {
  return "SELECT id FROM runs r WHERE state = 'completed'" + project_condition(project, "r") +
         " AND EXISTS (SELECT 1 FROM cells c WHERE c.run_id = r.id) ORDER BY id DESC LIMIT 2";
}

std::string records_query(const RecordFilter& filter) {
  std::string sql = std::string("SELECT ") + kRecordColumns +
                    " FROM cells c JOIN runs r ON r.id = c.run_id WHERE TRUE";
  int index = 0;
  const auto condition = [&sql, &index](const char* column, bool given) {
    if (given) sql += std::string(" AND ") + column + " = ?" + std::to_string(++index);
  };
  condition("c.site", !filter.site.empty());
  condition("c.keyword", !filter.keyword.empty());
  condition("c.engine", !filter.engine.empty());
  // The project's runs first: their cells are read through the run index alone, not every
  // cell of the history looked at for its run's project.
  if (filter.project) {
    sql +=
        " AND c.run_id IN (SELECT id FROM runs WHERE project = ?" + std::to_string(++index) + ")";
  }
  return sql + " ORDER BY c.run_id, c.id";
}

std::vector<std::string> records_params(const RecordFilter& filter) {
  std::vector<std::string> params;
  for (const std::string* text : {&filter.site, &filter.keyword, &filter.engine}) {
    if (!text->empty()) params.push_back(*text);
  }
  if (filter.project) params.push_back(*filter.project);
  return params;
}

std::vector<RankMove> pair_moves(const std::vector<MoveCell>& previous,
                                 const std::vector<MoveCell>& current) {
  using Key = std::tuple<std::string, std::string, std::string>;
  std::map<Key, RankMove> moves;
  std::map<Key, int> asked;  // in how many of the two runs
  for (const bool is_current : {false, true}) {
    for (const MoveCell& cell : is_current ? current : previous) {
      Key key{cell.site, cell.keyword, cell.engine};
      if (is_current && asked[key] == 1) ++asked[key];
      if (!is_current) asked[key] = 1;
      RankMove& move = moves[key];
      std::tie(move.site, move.keyword, move.engine) = key;
      (is_current ? move.current : move.previous) = cell.rank;
      (is_current ? move.current_address : move.previous_address) = cell.address;
    }
  }
  // A move needs the key asked in both runs: one that either run did not ask did not move.
  std::vector<RankMove> found;
  for (auto& [key, move] : moves) {
    if (asked[key] == 2) found.push_back(std::move(move));
  }
  return found;
}

}  // namespace quillrank::history_sql
