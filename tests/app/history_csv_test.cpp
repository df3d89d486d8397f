// A project's history as CSV and back: what survives the round trip (every field, quotes, commas
// and line breaks inside them), what a hostile or broken file is told, and that importing the
// same file twice adds nothing twice; and the two options of quillrank-history end to end.
#include "app/history/history_csv.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "history/history_store.h"
#include "history/temp_history.h"
#include "projects/project_store.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

CellRecord cell(const std::string& keyword, std::optional<int> rank, std::int64_t time) {
  return {.site = "a.com",
          .keyword = keyword,
          .engine = "baidu",
          .text = rank ? "第" + std::to_string(*rank) + "名" : "排在300后",
          .rank = rank,
          .verdict = "result",
          .reason = "第1页,\"找到\"\r\n下一行",
          .time_ms = time,
          .address = rank ? "http://a.com/x?a=1,2" : ""};
}

// Two runs of two keywords (one stopped); returns the history's path.
std::string two_runs(const std::string& name) {
  const std::string path = testing::temp_history(name);
  HistoryStore store = HistoryStore::open_for_writing(path, 1000);
  for (int run = 0; run < 2; ++run) {
    const std::int64_t started = 1'700'000'000'000 + run * 86'400'000LL;
    const std::int64_t id = store.add_run(started, "baidu,google", "batch");
    store.add_cell(id, cell("k1", 3 + run, started + 1));
    store.add_cell(id, cell("k,2", std::nullopt, started + 2));
    store.end_run(id, run ? RunState::stopped : RunState::completed, started + 3);
  }
  return path;
}

// A data folder of its own (for XDG_DATA_HOME) holding the project p, of the list a.com|k1.
std::string data_folder_with_project(const std::string& name) {
  const std::string folder = ::testing::TempDir() + name + std::to_string(::getpid());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  EXPECT_EQ(ProjectStore(default_projects_folder()).save({.name = "p", .list = "a.com|k1\r\n"}),
            std::nullopt);
  unsetenv("XDG_DATA_HOME");
  return folder;
}

TEST(HistoryCsv, RoundTripsEveryFieldAndImportsEachRunOnce) {
  HistoryStore from = HistoryStore::open_for_reading(two_runs("csv-from"), 1000);
  const std::vector<HistoryRecord> records = from.records({});
  const std::string csv = history_csv(records, from.runs());
  const auto parsed = parse_history_csv(csv, "");
  ASSERT_TRUE(std::holds_alternative<std::vector<CsvRun>>(parsed)) << std::get<std::string>(parsed);
  const auto& runs = std::get<std::vector<CsvRun>>(parsed);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].state, RunState::stopped);
  EXPECT_EQ(runs[0].engines, "baidu,google");

  const std::string path = testing::temp_history("csv-to");
  HistoryStore to = HistoryStore::open_for_writing(path, 1000);
  ImportCounts counts = import_history_runs(to, runs);
  EXPECT_EQ(counts.runs_added, 2);
  EXPECT_EQ(counts.cells_added, 4);
  counts = import_history_runs(to, runs);
  EXPECT_EQ(counts.runs_added, 0);
  EXPECT_EQ(counts.runs_present, 2);
  const std::vector<HistoryRecord> copied = to.records({});
  ASSERT_EQ(copied.size(), records.size());
  for (std::size_t i = 0; i < copied.size(); ++i) {
    EXPECT_EQ(copied[i].run_started_ms, records[i].run_started_ms);
    EXPECT_EQ(copied[i].run_state, records[i].run_state);
    const CellRecord& a = copied[i].cell;
    const CellRecord& b = records[i].cell;
    EXPECT_EQ(std::tie(a.site, a.keyword, a.engine, a.text, a.rank, a.verdict, a.reason, a.time_ms,
                       a.address),
              std::tie(b.site, b.keyword, b.engine, b.text, b.rank, b.verdict, b.reason, b.time_ms,
                       b.address));
  }
  EXPECT_EQ(history_csv(copied, to.runs()), csv);
}

TEST(HistoryCsv, SaysWhichLineOfABrokenFileIsWrong) {
  const std::string header =
      "run_started_ms,run_state,run_engines,run_source,site,keyword,engine,text,rank,verdict,"
      "reason,time_ms,address\n";
  const std::string good = "1,completed,baidu,batch,a.com,k,baidu,t,3,result,r,2,\n";
  struct Case {
    std::string text;
    std::string error;  // its start; empty: parsed
  };
  const Case cases[] = {
      {header + good, ""},
      {header, ""},
      {header + good.substr(0, good.size() - 1), ""},  // no line end at the end
      {"", "line 1: empty file"},
      {"a,b\n" + good, "line 1: not a history export"},
      {header + "1,completed,baidu,batch,a.com,k,baidu,t,3,result,r\n", "line 2: expected 13"},
      {header + "x,completed,baidu,batch,a.com,k,baidu,t,3,result,r,2,\n", "line 2: run_started"},
      {header + "1,done,baidu,batch,a.com,k,baidu,t,3,result,r,2,\n", "line 2: run_state"},
      {header + "1,completed,baidu,batch,a.com,k,Bai du,t,3,result,r,2,\n", "line 2: engine"},
      {header + "1,completed,baidu,batch,a.com,k,baidu,t,0,result,r,2,\n", "line 2: rank"},
      {header + "1,completed,baidu,batch,a.com,k,baidu,t,3,maybe,r,2,\n", "line 2: verdict"},
      {header + "1,completed,baidu,batch,,k,baidu,t,3,result,r,2,\n", "line 2: run_engines"},
      {header + good + "\"1,completed", "a quote that is not closed"},
      {header + "\"1\"x,completed\n", "a quote that is not closed, or text after"},
      {header.substr(0, header.size() - 1) + ",run_project\n" + good, "line 2: expected 14"},
      {header.substr(0, header.size() - 1) + ",project\n", "line 1: not a history export"},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_history_csv(c.text, "");
    if (c.error.empty()) {
      EXPECT_TRUE(std::holds_alternative<std::vector<CsvRun>>(parsed)) << c.text;
    } else {
      ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.text;
      EXPECT_TRUE(std::get<std::string>(parsed).starts_with(c.error))
          << c.text << " -> " << std::get<std::string>(parsed);
    }
  }
}

TEST(HistoryCsv, QuillrankHistoryExportsAProjectAndImportsItOnce) {
  const std::string folder = data_folder_with_project("quillrank-history-csv-");
  const std::map<std::string, std::string> env{{"XDG_DATA_HOME", folder}};
  const std::string from = two_runs("csv-cli-from");
  const std::string to = testing::temp_history("csv-cli-to");
  const std::string file = folder + "/p.csv";
  const std::string program = QUILLRANK_HISTORY_PROGRAM;
  auto run = testing::run_program(program,
                                  {"--history", from, "--export-csv", file, "--project", "p"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string csv = testing::read_file(file);
  // The header, and k1 of each run, whose reason holds a line break.
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * 2);
  EXPECT_EQ(csv.find("k,2"), std::string::npos) << "no pair of another list";
  run = testing::run_program(program, {"--history", to, "--import-csv", file}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "added 2 run(s) with 2 cell(s); 0 run(s) were there already\n");
  run = testing::run_program(program, {"--history", to, "--import-csv", file}, env);
  EXPECT_EQ(run.out, "added 0 run(s) with 0 cell(s); 2 run(s) were there already\n");
  testing::write_file(folder + "/bad.csv", "nonsense\n");
  run = testing::run_program(program, {"--history", to, "--import-csv", folder + "/bad.csv"}, env);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("line 1: not a history export"), std::string::npos) << run.err;
}

// Each run's project survives the round trip; a file from before runs had one (no run_project
// column) gives its runs the project asked for them, else none.
TEST(HistoryCsv, KeepsEachRunsProjectAndGivesAnOlderFilesRunsTheOneAsked) {
  std::vector<HistoryRecord> records;
  std::vector<RunRow> runs;
  for (const std::string project : {"客户 A", "", "q,\"r\""}) {
    const std::int64_t id = static_cast<std::int64_t>(runs.size()) + 1;
    runs.push_back({.id = id, .started_ms = id, .engines = "baidu", .source = "batch"});
    for (const std::string keyword : {"k1", "k2"}) {
      records.push_back({.run_id = id,
                         .run_started_ms = id,
                         .run_state = RunState::completed,
                         .cell = cell(keyword, 3, id),
                         .run_project = project});
    }
  }
  const std::string csv = history_csv(records, runs);
  const std::string older =
      csv.substr(0, csv.find(",run_project")) + "\n" +
      "\"1\",\"completed\",\"baidu\",\"batch\",\"a.com\",\"k\",\"baidu\",\"t\","
      "\"3\",\"result\",\"r\",\"2\",\"\"\n";
  struct Case {
    std::string text, older_project;
    std::vector<std::string> projects;  // of the runs read
  };
  const Case cases[] = {
      {csv, "", {"客户 A", "", "q,\"r\""}},
      {csv, "p", {"客户 A", "", "q,\"r\""}},  // the file names its runs' projects
      {older, "p", {"p"}},
      {older, "", {""}},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_history_csv(c.text, c.older_project);
    ASSERT_TRUE(std::holds_alternative<std::vector<CsvRun>>(parsed))
        << std::get<std::string>(parsed) << "\n"
        << c.text;
    std::vector<std::string> projects;
    for (const CsvRun& run : std::get<std::vector<CsvRun>>(parsed)) projects.push_back(run.project);
    EXPECT_EQ(projects, c.projects) << c.text;
  }
  const std::string path = testing::temp_history("csv-projects");
  HistoryStore store = HistoryStore::open_for_writing(path, 1000);
  import_history_runs(store, std::get<std::vector<CsvRun>>(parse_history_csv(csv, "")));
  EXPECT_EQ(store.runs("客户 A").size(), 1u);
  EXPECT_EQ(history_csv(store.records({}), store.runs()), csv) << "the store keeps them";
}

// --export-csv of a project: its runs and its pairs in runs of none, no other project's run;
// --import-csv --project of a file from before runs had one makes its runs the project's.
TEST(HistoryCsv, QuillrankHistoryExportsAProjectsRunsAndImportsAnOlderFileAsOne) {
  const std::string folder = data_folder_with_project("quillrank-history-csv-projects-");
  const std::map<std::string, std::string> env{{"XDG_DATA_HOME", folder}};
  const std::string from = testing::temp_history("csv-cli-projects-from");
  {
    HistoryStore store = HistoryStore::open_for_writing(from, 1000);
    int started = 0;
    for (const std::string project : {"", "p", "q"}) {
      const std::int64_t id = store.add_run(++started, "baidu", "batch", project);
      store.add_cell(id, cell("k1", 3, started));
      store.add_cell(id, cell("k2", 4, started));
      store.end_run(id, RunState::completed, started);
    }
  }
  const std::string program = QUILLRANK_HISTORY_PROGRAM;
  const std::string file = folder + "/p.csv";
  auto run = testing::run_program(program,
                                  {"--history", from, "--export-csv", file, "--project", "p"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto parsed = parse_history_csv(testing::read_file(file), "");
  ASSERT_TRUE(std::holds_alternative<std::vector<CsvRun>>(parsed));
  const auto& exported = std::get<std::vector<CsvRun>>(parsed);
  ASSERT_EQ(exported.size(), 2u) << "no run of q";
  EXPECT_EQ(exported[0].project, "");
  EXPECT_EQ(exported[0].cells.size(), 1u) << "k1 of the run of no project";
  EXPECT_EQ(exported[1].project, "p");
  EXPECT_EQ(exported[1].cells.size(), 2u) << "the whole run of p";

  // The file without its last column, as written before runs had projects.
  std::string older = testing::read_file(file);
  for (const std::string last : {",run_project\n", ",\"p\"\n", ",\"\"\n"}) {
    for (auto at = older.find(last); at != std::string::npos; at = older.find(last, at)) {
      older.replace(at, last.size(), "\n");
    }
  }
  testing::write_file(folder + "/older.csv", older);
  const std::string to = testing::temp_history("csv-cli-projects-to");
  run = testing::run_program(
      program, {"--history", to, "--import-csv", folder + "/older.csv", "--project", "r"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "added 2 run(s) with 3 cell(s); 0 run(s) were there already\n");
  EXPECT_EQ(HistoryStore::open_for_reading(to, 1000).runs("r").size(), 2u);
}

}  // namespace
}  // namespace quillrank
