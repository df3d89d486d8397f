#include "app/history/project_report_file.h"

#include <limits>
#include <set>

#include "app/history/project_report.h"
#include "app/history/project_report_xlsx.h"
#include "keywords/keyword_list.h"
#include "text/text_codec.h"

namespace quillrank {

std::vector<HistoryRecord> project_records(RankHistory& store, const Project& project) {
  std::set<SitePair> pairs;
  for (const QueryRow& row : split_keyword_list(project.list).rows) {
    if (!row.keyword.empty()) pairs.emplace(gbk_to_utf8(row.site), gbk_to_utf8(row.keyword));
  }
  return records_of_pairs(store, project.name, pairs);
}

std::string project_report_file(RankHistory& store, const Project& project,
                                const std::string& from_day, const std::string& to_day,
                                const std::string& file_name) {
  constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
  const std::int64_t from = from_day.empty() ? 0 : parse_report_date(from_day).value_or(0);
  const std::int64_t to = to_day.empty() ? std::numeric_limits<std::int64_t>::max()
                                         : parse_report_date(to_day).value_or(0) + kDayMs - 1;
  ProjectReport report =
      build_project_report(project_records(store, project), project.name, from, to);
  report.period = (from_day.empty() ? "首次查询" : from_day) + " .. " +
                  (to_day.empty() ? "最近一次查询" : to_day);
  return file_name.ends_with(".xlsx") ? project_report_xlsx(report) : project_report_html(report);
}

}  // namespace quillrank
