// A project's report as a workbook, read back out of its zip: the sheets in order, a chart of
// each engine's visibility over the ranges of its rows, the moves and every keyword with the
// ranks of its runs, and every text escaped.
#include "app/history/project_report_xlsx.h"

#include <gtest/gtest.h>

#include "report_records.h"
#include "support/zip_entries.h"

namespace quillrank {
namespace {

// The small project's report, with one more keyword on Google.
ProjectReport report_with(const std::string& odd_keyword) {
  std::vector<HistoryRecord> records = three_runs();
  records.push_back(record(2, odd_keyword, 4, "result", "google"));
  return build_project_report(records, "p", 0, std::numeric_limits<std::int64_t>::max());
}

std::map<std::string, std::string> workbook(const ProjectReport& report) {
  const std::string bytes = project_report_xlsx(report);
  EXPECT_EQ(bytes.substr(0, 2), "PK");
  auto entries = testing::zip_entries(bytes);
  EXPECT_TRUE(entries) << "no well-formed zip";
  return entries.value_or(std::map<std::string, std::string>{});
}

// The value or text of cell `at` ("D2") of a sheet's XML; "" when the cell is not written.
std::string cell(const std::string& sheet, const std::string& at) {
  const std::size_t start = sheet.find("<c r=\"" + at + "\"");
  if (start == std::string::npos) return "";
  const std::string one = sheet.substr(start, sheet.find("</c>", start) - start);
  for (const auto& [open, close] : {std::pair{"<v>", "</v>"}, std::pair{"<t>", "</t>"}}) {
    const std::size_t value = one.find(open);
    if (value != std::string::npos) {
      return one.substr(value + 3, one.find(close, value) - value - 3);
    }
  }
  return "";
}

TEST(ProjectReportXlsx, HoldsItsSheetsInOrderAndAChartOfEachEnginesVisibility) {
  auto entries = workbook(report_with("odd"));
  const std::string& book = entries["xl/workbook.xml"];
  std::size_t at = 0;
  for (const char* sheet : {kVisibilitySheet, kMovesSheet, kNewAndLostSheet, kKeywordsSheet}) {
    at = book.find("<sheet name=\"" + std::string(sheet) + "\"", at);
    EXPECT_NE(at, std::string::npos) << sheet << " missing or out of order";
  }
  // Baidu's three runs in rows 2 to 4, then Google's one in row 5; shares of the run's cells.
  const std::string& visibility = entries["xl/worksheets/sheet1.xml"];
  const struct {
    const char* at;
    const char* value;
  } cells[] = {{"A2", "baidu"}, {"C2", "4"},    {"D2", "0.25"}, {"E3", "0.5"},
               {"G2", "0.75"},  {"H3", "0.25"}, {"H2", "0"},    {"A5", "google"},
               {"C5", "2"},     {"D5", "0"},    {"E5", "1"}};
  for (const auto& [where, value] : cells) EXPECT_EQ(cell(visibility, where), value) << where;
  ASSERT_TRUE(entries.contains("xl/charts/chart1.xml"));
  ASSERT_TRUE(entries.contains("xl/charts/chart2.xml"));
  EXPECT_FALSE(entries.contains("xl/charts/chart3.xml"));
  const std::string& baidu = entries["xl/charts/chart1.xml"];
  for (const char* part : {"<c:lineChart>", "'可见度'!$B$2:$B$4", "'可见度'!$D$2:$D$4",
                           "'可见度'!$G$2:$G$4", "前3名", "有排名"}) {
    EXPECT_NE(baidu.find(part), std::string::npos) << part;
  }
  // Google's one run: a range of one cell.
  EXPECT_NE(entries["xl/charts/chart2.xml"].find("'可见度'!$E$5<"), std::string::npos);
}

TEST(ProjectReportXlsx, ListsTheMovesAndEveryKeywordWithTheRanksOfItsRuns) {
  auto entries = workbook(report_with("<b>&\"x\""));
  const std::string& moves = entries["xl/worksheets/sheet2.xml"];
  const std::string& new_and_lost = entries["xl/worksheets/sheet3.xml"];
  const std::string& keywords = entries["xl/worksheets/sheet4.xml"];
  const struct {
    const std::string& sheet;
    const char* at;
    const char* value;
  } cells[] = {
      // Up then down, the change signed (drawn ↑8, ↓6 by the cell's number format).
      {moves, "A2", "上升"},
      {moves, "C2", "up"},
      {moves, "F2", "9"},
      {moves, "G2", "8"},
      {moves, "A3", "下降"},
      {moves, "G3", "-6"},
      {moves, "A4", ""},
      {new_and_lost, "A2", "新进排名"},
      {new_and_lost, "C2", "new"},
      {new_and_lost, "F2", ""},
      {new_and_lost, "A3", "跌出排名"},
      {new_and_lost, "F3", "25"},
      // Every keyword: rank, previous, move, then its ranks oldest first (none left empty).
      {keywords, "G1", "第1次"},
      {keywords, "I1", "第3次"},
      {keywords, "J1", ""},
      {keywords, "B2", "up"},
      {keywords, "D2", "1"},
      {keywords, "E2", "9"},
      {keywords, "F2", "8"},
      {keywords, "G2", "12"},
      {keywords, "I2", "1"},
      {keywords, "F4", "新"},
      {keywords, "G4", ""},
      {keywords, "H4", ""},
      {keywords, "I4", "30"},
      {keywords, "F5", "落"},
      {keywords, "D5", ""},
      {keywords, "B7", "&lt;b&gt;&amp;\"x\""},
      {keywords, "C7", "google"},
      {keywords, "G7", "4"},
      {keywords, "H7", ""},
  };
  for (const auto& [sheet, where, value] : cells) EXPECT_EQ(cell(sheet, where), value) << where;
  EXPECT_EQ(keywords.find("<b>"), std::string::npos);
  EXPECT_NE(keywords.find("<colorScale>"), std::string::npos) << "the ranks read as a trend";
  EXPECT_NE(entries["xl/styles.xml"].find("&quot;↑&quot;0;&quot;↓&quot;0"), std::string::npos);
}

TEST(ProjectReportXlsx, AProjectWithoutRunsIsAWorkbookOfEmptySheets) {
  const ProjectReport empty{.project = "p", .period = "all runs"};
  auto entries = workbook(empty);
  EXPECT_NE(entries["xl/workbook.xml"].find(kKeywordsSheet), std::string::npos);
  EXPECT_FALSE(entries.contains("xl/charts/chart1.xml"));
  EXPECT_EQ(cell(entries["xl/worksheets/sheet4.xml"], "A1"), "网站");
  EXPECT_EQ(cell(entries["xl/worksheets/sheet4.xml"], "A2"), "");
}

TEST(ProjectReportXlsx, KeepsTheLatestRunsThatFitInASheetsColumns) {
  // 16,400 runs: the sheet's 16,384 columns hold six of the keyword's own and 16,378 runs.
  ProjectReport report{.project = "p"};
  KeywordTrend trend{.site = "a.com",
                     .keyword = "k",
                     .engine = "baidu",
                     .rank = {},
                     .previous = {},
                     .move = {},
                     .ranks = {}};
  for (int run = 1; run <= 16400; ++run) trend.ranks.push_back(run % 100 + 1);
  report.keywords.push_back(trend);
  auto entries = workbook(report);
  const std::string& keywords = entries["xl/worksheets/sheet4.xml"];
  EXPECT_EQ(cell(keywords, "G1"), "第23次");
  EXPECT_EQ(cell(keywords, "G2"), "24");  // run 23
  EXPECT_EQ(cell(keywords, "XFD1"), "第16400次");
  EXPECT_EQ(cell(keywords, "XFD2"), "1");  // run 16400
}

}  // namespace
}  // namespace quillrank
