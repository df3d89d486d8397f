// A project's report: what it counts per run and engine, the moves it finds, and the page it
// writes (self-contained: no scripts, no address of elsewhere, every text escaped); and
// quillrank-history --report end to end on a history written here.
#include "app/history/project_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "history/history_store.h"
#include "history/temp_history.h"
#include "projects/project_store.h"
#include "report_records.h"
#include "support/run_program.h"
#include "support/zip_entries.h"

namespace quillrank {
namespace {

TEST(ProjectReport, CountsVisibilityPerRunAndEngineAndFindsEachMove) {
  const ProjectReport report =
      build_project_report(three_runs(), "p", 0, std::numeric_limits<std::int64_t>::max());
  ASSERT_EQ(report.engines.size(), 2u);
  EXPECT_EQ(report.engines[0].engine, "baidu");
  struct Expected {
    int cells, top3, top10, top30, ranked, blocked;
  };
  const Expected runs[] = {{4, 1, 1, 3, 3, 0}, {4, 1, 2, 3, 3, 1}, {4, 1, 2, 3, 3, 0}};
  ASSERT_EQ(report.engines[0].runs.size(), 3u);
  for (int run = 0; run < 3; ++run) {
    const VisibilityPoint& point = report.engines[0].runs[run];
    const Expected& want = runs[run];
    EXPECT_EQ(std::vector<int>(
                  {point.cells, point.top3, point.top10, point.top30, point.ranked, point.blocked}),
              std::vector<int>(
                  {want.cells, want.top3, want.top10, want.top30, want.ranked, want.blocked}))
        << "run " << run;
  }
  std::map<std::string, Movement> moves;
  for (const KeywordTrend& trend : report.keywords) {
    if (trend.engine == "baidu") moves[trend.keyword] = trend.move;
  }
  EXPECT_EQ(moves["up"], (Movement{Movement::Kind::up, 8}));
  EXPECT_EQ(moves["down"], (Movement{Movement::Kind::down, 6}));
  EXPECT_EQ(moves["new"].kind, Movement::Kind::new_rank);
  EXPECT_EQ(moves["lost"].kind, Movement::Kind::lost);
  EXPECT_EQ(report.keywords[0].ranks, (std::vector<std::optional<int>>{12, 9, 1}));

  // A period of the middle day alone.
  const ProjectReport middle =
      build_project_report(three_runs(), "p", kStart + kDay, kStart + 2 * kDay - 1);
  ASSERT_EQ(middle.engines.size(), 1u);
  EXPECT_EQ(middle.engines[0].runs.size(), 1u);
  EXPECT_EQ(middle.keywords[0].move.kind, Movement::Kind::none) << "one run: nothing to compare";
}

TEST(ProjectReport, WritesOneSelfContainedPageWithEveryTextEscaped) {
  std::vector<HistoryRecord> records = three_runs();
  records.push_back(record(2, "<script src=\"x\">&", 3));
  ProjectReport report = build_project_report(records, "客户<b>", 0, kStart + 10 * kDay);
  const std::string page = project_report_html(report);
  for (const char* absent :
       {"http:", "https:", "<script", "<img", "<link", "<iframe", "url(", "@import", "<b>"}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(page.find("&lt;script src=&quot;x&quot;&gt;&amp;"), std::string::npos);
  EXPECT_NE(page.find("客户&lt;b&gt;"), std::string::npos);
  EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 1) << "one line, ending the file";
  // A chart per engine, a trend line per keyword and engine.
  const auto count = [&page](const std::string& what) {
    std::size_t n = 0;
    for (auto at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<svg class=\"chart\""), 2u);
  EXPECT_EQ(count("<svg class=\"spark\""), report.keywords.size());
}

TEST(ProjectReport, ListsTheBiggestMovesFirstAndAtMostTwentyEachWay) {
  ProjectReport report{.project = "p"};
  const auto trend = [](int n, Movement::Kind kind, int places) {
    return KeywordTrend{.site = "a.com",
                        .keyword = "k" + std::to_string(n),
                        .engine = "baidu",
                        .rank = {},
                        .previous = {},
                        .move = {kind, places},
                        .ranks = {}};
  };
  // 30 moves up by 1 to 15 places (each twice), 3 down, 2 new, 1 lost, 1 none.
  for (int n = 0; n < 30; ++n) report.keywords.push_back(trend(n, Movement::Kind::up, 1 + n % 15));
  for (int n = 30; n < 33; ++n) report.keywords.push_back(trend(n, Movement::Kind::down, n));
  report.keywords.push_back(trend(33, Movement::Kind::new_rank, 0));
  report.keywords.push_back(trend(34, Movement::Kind::none, 0));
  report.keywords.push_back(trend(35, Movement::Kind::lost, 0));
  report.keywords.push_back(trend(36, Movement::Kind::new_rank, 0));
  const ReportMoves moves = report_moves(report);
  const auto names = [](const std::vector<const KeywordTrend*>& rows) {
    std::vector<std::string> out;
    for (const KeywordTrend* row : rows) out.push_back(row->keyword);
    return out;
  };
  ASSERT_EQ(moves.up.size(), ReportMoves::kBiggestMoves);
  // Biggest first; of equal moves, the one listed first.
  EXPECT_EQ(names(moves.up)[0], "k14");
  EXPECT_EQ(names(moves.up)[1], "k29");
  EXPECT_EQ(names(moves.up)[19], "k20");
  EXPECT_EQ(moves.up.back()->move.places, 6);
  EXPECT_EQ(names(moves.down), (std::vector<std::string>{"k32", "k31", "k30"}));
  EXPECT_EQ(names(moves.fresh), (std::vector<std::string>{"k33", "k36"}));
  EXPECT_EQ(names(moves.lost), std::vector<std::string>{"k35"});
}

TEST(ProjectReport, ReadsTheRecordsOfManyPairsInOnePassAsPairByPair) {
  const std::string history = testing::temp_history("pairs");
  HistoryStore store = HistoryStore::open_for_writing(history, 1000);
  std::set<SitePair> all, few;
  for (int run = 0; run < 2; ++run) {
    const std::int64_t id = store.add_run(kStart + run * kDay, "baidu", "batch");
    for (int keyword = 0; keyword < 150; ++keyword) {
      // Written in an order unlike the pairs' own, with a site of no project among them.
      for (const char* site : {"b.com", "a.com", "other.com"}) {
        CellRecord cell = record(run, "k" + std::to_string(keyword), keyword + run).cell;
        cell.site = site;
        store.add_cell(id, cell);
        if (std::string(site) != "other.com") all.emplace(site, cell.keyword);
      }
    }
    store.end_run(id, RunState::completed, kStart + run * kDay + 1);
  }
  std::vector<HistoryRecord> one_pass = records_of_pairs(store, "p", all);
  // Run by run, each pair's oldest first: the pair-by-pair order once grouped by pair.
  std::stable_sort(one_pass.begin(), one_pass.end(), [](const auto& a, const auto& b) {
    return std::tie(a.cell.site, a.cell.keyword) < std::tie(b.cell.site, b.cell.keyword);
  });
  std::vector<HistoryRecord> pair_by_pair;
  for (const SitePair& pair : all) {
    const std::vector<HistoryRecord> one = records_of_pairs(store, "p", {pair});
    pair_by_pair.insert(pair_by_pair.end(), one.begin(), one.end());
  }
  ASSERT_EQ(one_pass.size(), 2u * 300);
  ASSERT_EQ(one_pass.size(), pair_by_pair.size());
  for (std::size_t i = 0; i < one_pass.size(); ++i) {
    EXPECT_EQ(
        std::tie(one_pass[i].run_id, one_pass[i].cell.site, one_pass[i].cell.keyword),
        std::tie(pair_by_pair[i].run_id, pair_by_pair[i].cell.site, pair_by_pair[i].cell.keyword))
        << i;
  }
}

// A project's records: its runs whole, its list's pairs in runs of no project (those before
// projects), nothing of another project's runs; the same with a few pairs (read pair by pair)
// and with many (read in one pass).
TEST(ProjectReport, ReadsAProjectsRunsAndItsPairsInRunsOfNoProjectOnly) {
  const std::string history = testing::temp_history("project-runs");
  HistoryStore store = HistoryStore::open_for_writing(history, 1000);
  // Run by run: its project, and the keywords it ranked (k0 .. k149 for "many").
  const std::pair<std::string, std::vector<std::string>> runs[] = {
      {"", {"seo", "gone", "many"}},      // before projects: seo counts, "gone" not
      {"p", {"seo", "dropped", "many"}},  // the project's: all of it, "dropped" too
      {"q", {"seo", "many"}},             // another project's: nothing
      {"", {"seo"}},                      // a run of no project since
      {"p", {"seo"}}};
  std::set<SitePair> many;
  for (std::size_t run = 0; run < std::size(runs); ++run) {
    const std::int64_t id =
        store.add_run(kStart + static_cast<int>(run) * kDay, "baidu", "batch", runs[run].first);
    for (const std::string& keyword : runs[run].second) {
      for (int n = 0; n < (keyword == "many" ? 150 : 1); ++n) {
        const std::string name = keyword == "many" ? "k" + std::to_string(n) : keyword;
        store.add_cell(id, record(static_cast<int>(run), name, 3).cell);
        many.emplace("a.com", name);
      }
    }
    store.end_run(id, RunState::completed, 0);
  }
  for (const char* left_out : {"gone", "dropped"}) many.erase({"a.com", left_out});
  struct Case {
    std::set<SitePair> pairs;
    std::size_t records;  // what the runs of no project add; the project's runs give 153
  };
  const Case cases[] = {{{{"a.com", "seo"}}, 2}, {many, 151 + 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pairs.size());
    const std::vector<HistoryRecord> records = records_of_pairs(store, "p", c.pairs);
    EXPECT_EQ(records.size(), 153 + c.records);
    for (std::size_t i = 0; i < records.size(); ++i) {
      const HistoryRecord& record = records[i];
      EXPECT_NE(record.run_project, "q");
      if (record.run_project.empty()) {
        EXPECT_TRUE(c.pairs.contains({"a.com", record.cell.keyword}));
      }
      if (i > 0) {
        EXPECT_LE(records[i - 1].run_id, record.run_id) << "oldest run first";
      }
    }
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const HistoryRecord& r) { return r.cell.keyword == "dropped"; }),
              1);
  }
}

TEST(ProjectReport, ReadsDatesAndRefusesWhatIsNoDate) {
  EXPECT_EQ(*parse_report_date("2026-03-02") - *parse_report_date("2026-03-01"), kDay);
  for (const char* bad : {"2026-02-30", "2026-3-01", "20260301", "2026-03-01x", "", "yyyy-mm-dd"}) {
    EXPECT_EQ(parse_report_date(bad), std::nullopt) << bad;
  }
}

TEST(ProjectReport, QuillrankHistoryWritesTheReportOfAProjectFromItsPairs) {
  const std::string folder =
      ::testing::TempDir() + "quillrank-report-" + std::to_string(::getpid());
  std::filesystem::remove_all(folder);
  const std::string history = testing::temp_history("report");
  {
    HistoryStore store = HistoryStore::open_for_writing(history, 1000);
    for (int run = 0; run < 2; ++run) {
      const std::int64_t id = store.add_run(kStart + run * kDay, "baidu", "batch");
      for (const char* keyword : {"k1", "other"}) {
        CellRecord cell = record(run, keyword, 5 - run).cell;
        cell.time_ms = kStart + run * kDay;
        store.add_cell(id, cell);
      }
      store.end_run(id, RunState::completed, kStart + run * kDay + 1);
    }
  }
  const std::map<std::string, std::string> env{{"XDG_DATA_HOME", folder}};
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  ASSERT_EQ(ProjectStore(default_projects_folder()).save({.name = "p", .list = "a.com|k1\r\n"}),
            std::nullopt);
  unsetenv("XDG_DATA_HOME");
  const std::string page = folder + "/p.html";
  const testing::ProgramRun run = testing::run_program(
      QUILLRANK_HISTORY_PROGRAM, {"--history", history, "--report", page, "--project", "p"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string html = testing::read_file(page);
  EXPECT_NE(html.find("<td>k1</td>"), std::string::npos);
  EXPECT_EQ(html.find("other"), std::string::npos) << "a pair of no project";
  EXPECT_NE(html.find("↑1"), std::string::npos) << html;

  // The same tables as a workbook.
  const std::string book = folder + "/p.xlsx";
  const testing::ProgramRun xlsx = testing::run_program(
      QUILLRANK_HISTORY_PROGRAM, {"--history", history, "--report", book, "--project", "p"}, env);
  ASSERT_EQ(xlsx.exit_code, 0) << xlsx.err;
  const auto sheets = testing::zip_entries(testing::read_file(book));
  ASSERT_TRUE(sheets);
  const std::string keywords = sheets->at("xl/worksheets/sheet4.xml");
  EXPECT_NE(keywords.find("<t>k1</t>"), std::string::npos);
  EXPECT_EQ(keywords.find("other"), std::string::npos) << "a pair of no project";
  // A file that cannot be written (its folder is missing) is said so; the history is fine.
  const testing::ProgramRun nowhere = testing::run_program(
      QUILLRANK_HISTORY_PROGRAM,
      {"--history", history, "--report", folder + "/missing/p.xlsx", "--project", "p"}, env);
  EXPECT_EQ(nowhere.exit_code, 1);
  EXPECT_NE(nowhere.err.find("cannot write " + folder + "/missing/p.xlsx"), std::string::npos)
      << nowhere.err;

  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--report", page},
           {"--report", folder + "/p.pdf", "--project", "p"},
           {"--report", page, "--project", "p", "--from", "2026-13-01"},
           {"--report", page, "--project", "nothing"}}) {
    args.insert(args.end(), {"--history", history});
    EXPECT_EQ(testing::run_program(QUILLRANK_HISTORY_PROGRAM, args, env).exit_code, 2) << args[1];
  }
}

}  // namespace
}  // namespace quillrank
