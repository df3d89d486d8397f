#include "history/history_sql.h"

#include <array>
#include <map>
#include <tuple>

namespace quillrank::history_sql {

std::string records_query(const std::string& site, const std::string& keyword,
                          const std::string& engine) {
  std::string sql = std::string("SELECT ") + kRecordColumns +
                    " FROM cells c JOIN runs r ON r.id = c.run_id WHERE TRUE";
  const std::array<std::pair<const char*, const std::string*>, 3> filters{
      {{"site", &site}, {"keyword", &keyword}, {"engine", &engine}}};
  int index = 0;
  for (const auto& [column, value] : filters) {
    if (!value->empty()) sql += std::string(" AND c.") + column + " = ?" + std::to_string(++index);
  }
  return sql + " ORDER BY c.run_id, c.id";
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
