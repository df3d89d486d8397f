// The rank history end to end: quillrank-batch records its runs, quillrank-history prints them,
// and a database that is corrupt, locked or whose writer is killed never costs a run.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "history/every_store.h"
#include "history/history_store.h"
#include "history/temp_history.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;
using testing::temp_history;

const std::string kBatch = QUILLRANK_BATCH_PROGRAM;
const std::string kHistory = QUILLRANK_HISTORY_PROGRAM;

// Baidu lists shop.example at `index` (0-based) for every keyword but "stall", which it never
// answers.
struct Engines {
  std::atomic<int> index{2};
  FixtureServer server{[this](const HttpRequest& request) {
    if (request.target.find("wd=stall") != std::string::npos) {
      return HttpReply{.body = "x", .stall_before_reply = 60s};
    }
    return HttpReply{.body =
                         testing::engine_result_page(kBaidu, "http://shop.example/", index.load())};
  }};
  testing::ProgramRun batch(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> all{"-e", "baidu", "--profiles", "classic"};
    all.insert(all.end(), args.begin(), args.end());
    return testing::run_program(kBatch, all, {{"http_proxy", server.base_url()}}, input);
  }
};

std::vector<RunRow> runs_in(const std::string& path) {
  return HistoryStore::open_for_reading(path, 1000).runs();
}

std::size_t lines_in(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A rank that stayed while the engine showed another page of the site is a move of its own;
// a rank at the same address, or one recorded before addresses were kept, is none.
TEST(HistoryCommand, MovesShowAnotherAddressAtTheSameRank) {
  const std::string path = temp_history("address-moves");
  {
    HistoryStore store = HistoryStore::open_for_writing(path, 1000);
    const char* addresses[2][3] = {
        {"http://a.example/old", "http://b.example/", ""},
        {"http://a.example/new", "http://b.example/", "http://c.example/"}};
    for (int run = 0; run < 2; ++run) {
      const std::int64_t id = store.add_run(run, "baidu", "batch");
      for (const char* site : {"a.example", "b.example", "c.example"}) {
        const int index = site[0] - 'a';
        store.add_cell(id, {.site = site,
                            .keyword = "seo",
                            .engine = "baidu",
                            .text = "第4名",
                            .rank = 4,
                            .verdict = "result",
                            .reason = "",
                            .time_ms = run,
                            .address = addresses[run][index]});
      }
      store.end_run(id, RunState::completed, run);
    }
  }
  const testing::ProgramRun moves = testing::run_program(kHistory, {"--moves", "--history", path});
  EXPECT_EQ(moves.exit_code, 0) << moves.err;
  EXPECT_EQ(
      moves.out,
      "site\tkeyword\tengine\tprevious\trank\tchange\tprevious_address\taddress\n"
      "a.example\tseo\tbaidu\t4\t4\tother page\thttp://a.example/old\thttp://a.example/new\n");
}

// --project keeps every print-out to the runs of that project (no project of that name needs
// to be saved): the runs listed, the records, the latest ranks and the moves between its last
// two runs, however other projects' runs fall between them.
TEST(HistoryCommand, ProjectKeepsEachPrintOutToItsRuns) {
  const std::string path = temp_history("project-filter");
  {
    HistoryStore store = HistoryStore::open_for_writing(path, 1000);
    const std::pair<const char*, int> runs[] = {{"p", 9}, {"q", 1}, {"", 30}, {"p", 5}, {"q", 2}};
    for (int run = 0; run < 5; ++run) {
      const auto& [project, rank] = runs[run];
      const std::int64_t id = store.add_run(run, "baidu", "batch", project);
      store.add_cell(id, {.site = "a.example",
                          .keyword = "seo",
                          .engine = "baidu",
                          .text = "第" + std::to_string(rank) + "名",
                          .rank = rank,
                          .verdict = "result",
                          .reason = "",
                          .time_ms = run});
      store.end_run(id, RunState::completed, run);
    }
  }
  struct Case {
    std::vector<std::string> args;
    std::size_t lines;         // with the header
    std::string holds, lacks;  // a piece of the print-out, and one it must not hold
  };
  const Case cases[] = {
      {{"--runs", "--project", "p"}, 3, "\tcompleted\t1\t1\tp\n", "\tq\n"},
      {{"--runs", "--project", "q"}, 3, "\tq\n", "\tp\n"},
      {{"--runs"}, 6, "\t1\t1\t\n", ""},
      {{"--full", "--project", "q", "--csv"}, 3, ",第1名,", "第9名"},
      {{"--project", "p"}, 2, "\tbaidu\t5\t第5名\t", "第2名"},
      {{"--moves", "--project", "p"}, 2, "\t9\t5\tup 4\t", ""},
      {{"--moves", "--project", "q"}, 2, "\t1\t2\tdown 1\t", ""},
      {{"--moves"}, 2, "\t5\t2\tup 3\t", ""},
      {{"--runs", "--project", "none-such"}, 1, "run\t", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--history", path});
    const testing::ProgramRun run = testing::run_program(kHistory, args);
    SCOPED_TRACE(args[0] + " " + (args.size() > 3 ? args[2] : ""));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(lines_in(run.out), c.lines) << run.out;
    EXPECT_NE(run.out.find(c.holds), std::string::npos) << run.out;
    if (!c.lacks.empty()) {
      EXPECT_EQ(run.out.find(c.lacks), std::string::npos) << run.out;
    }
  }
}

// The same runs and the same print-outs with the history in a file and in PostgreSQL.
using HistoryCommandOn = testing::EveryStore;
QUILLRANK_ON_EVERY_STORE(HistoryCommandOn);

TEST_P(HistoryCommandOn, BatchRunsAreRecordedAndPrintedWithTheirChange) {
  Engines engines;
  const std::string path = location_;
  ASSERT_EQ(engines.batch({"--history", path}, "shop.example|seo\nshop.example|中文").exit_code, 0);
  engines.index = 0;
  const testing::ProgramRun second = engines.batch({"--history", path}, "shop.example|seo");
  ASSERT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.err, "");

  const std::vector<RunRow> runs = open_history_for_reading(path, 1000)->runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].source, "batch");
  EXPECT_EQ(runs[0].engines, "baidu");
  EXPECT_EQ(runs[0].state, RunState::completed);
  EXPECT_EQ(runs[0].cells, 2);
  const std::vector<HistoryRecord> seo =
      open_history_for_reading(path, 1000)->row_history("shop.example", "seo");
  ASSERT_EQ(seo.size(), 2u);
  EXPECT_EQ(seo[0].cell.text, "第3名");
  EXPECT_EQ(seo[0].cell.rank, 3);
  EXPECT_EQ(seo[0].cell.verdict, "result");
  EXPECT_EQ(seo[0].cell.reason, "第1页找到：http://shop.example/");
  EXPECT_EQ(seo[0].cell.address, "http://shop.example/");
  EXPECT_EQ(seo[1].cell.rank, 1);

  const testing::ProgramRun latest = testing::run_program(kHistory, {"--history", path});
  EXPECT_EQ(latest.exit_code, 0) << latest.err;
  EXPECT_TRUE(latest.out.starts_with("site\tkeyword\tengine\trank\tcell\ttime\tprevious\t"))
      << latest.out;
  EXPECT_NE(latest.out.find("shop.example\tseo\tbaidu\t1\t第1名\t"), std::string::npos);
  EXPECT_NE(latest.out.find("\t3\t"), std::string::npos);
  EXPECT_TRUE(latest.out.find("\tup 2\n") != std::string::npos) << latest.out;
  EXPECT_NE(latest.out.find("shop.example\t中文\tbaidu\t3\t第3名\t"), std::string::npos);
  EXPECT_TRUE(latest.out.ends_with("\t\t\tnew\n")) << "中文 sorts after seo: no previous run";

  const testing::ProgramRun moves =
      testing::run_program(kHistory, {"--moves", "--csv", "--history", path});
  EXPECT_EQ(moves.exit_code, 0) << moves.err;
  EXPECT_EQ(moves.out,
            "\xEF\xBB\xBFsite,keyword,engine,previous,rank,change,previous_address,address\r\n"
            "shop.example,seo,baidu,3,1,up 2,http://shop.example/,http://shop.example/\r\n")
      << "中文 was not asked the second time: it did not move";

  const testing::ProgramRun full = testing::run_program(
      kHistory, {"--full", "--keyword", "seo", "--engine", "BAIDU", "--history", path});
  EXPECT_EQ(full.exit_code, 0) << full.err;
  EXPECT_EQ(lines_in(full.out), 3u) << full.out;
  EXPECT_NE(full.out.find(
                "\tshop.example\tseo\tbaidu\t3\t第3名\tresult\t第1页找到：http://shop.example/\n"),
            std::string::npos)
      << full.out;

  const testing::ProgramRun listed = testing::run_program(kHistory, {"--runs", "--history", path});
  EXPECT_EQ(lines_in(listed.out), 3u) << listed.out;
  EXPECT_NE(listed.out.find("\tbatch\tbaidu\tcompleted\t2\t2\t\n"), std::string::npos)
      << listed.out;
}

TEST(HistoryCommand, TheHistoryIsOffWithNoHistoryOrTheSettingsFile) {
  Engines engines;
  const std::string path = temp_history("off");
  EXPECT_EQ(engines.batch({"--no-history", "--history", path}, "shop.example|seo").exit_code, 2);
  EXPECT_EQ(engines.batch({"--no-history"}, "shop.example|seo").exit_code, 0);
  const std::string config = temp_history("off-config") + ".toml";
  testing::write_file(config, "history = false\nhistory_path = \"" + path + "\"\n");
  EXPECT_EQ(engines.batch({"--config", config}, "shop.example|seo").exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  testing::write_file(config, "history_path = \"" + path + "\"\n");
  EXPECT_EQ(engines.batch({"--config", config}, "shop.example|seo").exit_code, 0);
  EXPECT_EQ(runs_in(path).size(), 1u);
}

TEST(HistoryCommand, DefaultsToTheUsersDataFolder) {
  Engines engines;
  const std::string data = temp_history("data-home");
  std::filesystem::remove_all(data);
  const testing::ProgramRun run = testing::run_program(
      kBatch, {"-e", "baidu"}, {{"http_proxy", engines.server.base_url()}, {"XDG_DATA_HOME", data}},
      "shop.example|seo");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(runs_in(data + "/quillrank/history.sqlite3").size(), 1u);
  const testing::ProgramRun printed =
      testing::run_program(kHistory, {"--runs"}, {{"XDG_DATA_HOME", data}});
  EXPECT_EQ(printed.exit_code, 0) << printed.err;
  EXPECT_EQ(lines_in(printed.out), 2u);
}

TEST(HistoryCommand, ExitCodesHelpAndVersionAreTheBatchs) {
  const std::string missing = temp_history("missing");
  const testing::ProgramRun none = testing::run_program(kHistory, {"--history", missing});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.err, "quillrank-history: no rank history at " + missing + "\n");
  EXPECT_FALSE(std::filesystem::exists(missing)) << "reading never creates a database";
  const testing::ProgramRun wrong = testing::run_program(kHistory, {"--runs", "--moves"});
  EXPECT_EQ(wrong.exit_code, 2);
  EXPECT_NE(wrong.err.find("usage: quillrank-history"), std::string::npos) << wrong.err;
  EXPECT_EQ(testing::run_program(kHistory, {"--engine", "../bing"}).exit_code, 2);
  const testing::ProgramRun help = testing::run_program(kHistory, {"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--moves"), std::string::npos);
  EXPECT_TRUE(testing::run_program(kHistory, {"--version"}).out.starts_with("quillrank-history "));
  const std::string corrupt = temp_history("corrupt-read");
  testing::write_file(corrupt, std::string(4096, 'x'));
  const testing::ProgramRun unreadable = testing::run_program(kHistory, {"--history", corrupt});
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_TRUE(unreadable.err.starts_with("quillrank-history: cannot read ")) << unreadable.err;
}

TEST(HistoryCommand, ACorruptOrLockedDatabaseNeverStopsTheRun) {
  Engines engines;
  const std::string corrupt = temp_history("corrupt-batch");
  testing::write_file(corrupt, std::string(8192, '\x01'));
  const std::string locked = temp_history("locked-batch");
  { HistoryStore::open_for_writing(locked, 1000); }
  SQLite::Database holder(locked, SQLite::OPEN_READWRITE);
  holder.exec("BEGIN EXCLUSIVE");
  for (const std::string& path : {corrupt, locked}) {
    const testing::ProgramRun run = engines.batch({"--history", path}, "shop.example|seo");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out,
              "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
              "http://shop.example\tseo\t第3名\t未启动\t未启动\t未启动\n");
    EXPECT_EQ(lines_in(run.err), 1u) << run.err;
    EXPECT_TRUE(run.err.starts_with("quillrank-batch: warning: the rank history " + path))
        << run.err;
  }
  holder.exec("COMMIT");
  EXPECT_EQ(testing::read_file(corrupt), std::string(8192, '\x01'));
  EXPECT_TRUE(runs_in(locked).empty());
}

TEST(HistoryCommand, TwoBatchesWritingOneDatabaseAtOnceBothSucceed) {
  Engines engines;
  const std::string path = temp_history("two-batches");
  std::string list;
  for (int i = 0; i < 200; ++i) list += "shop.example|k" + std::to_string(i) + "\n";
  const std::map<std::string, std::string> env{{"http_proxy", engines.server.base_url()}};
  testing::ChildProgram first(kBatch, {"-e", "baidu", "--history", path}, env, list);
  testing::ChildProgram second(kBatch, {"-e", "baidu", "--history", path}, env, list);
  for (testing::ChildProgram* child : {&first, &second}) {
    const testing::ProgramRun run = child->wait();
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
  }
  const std::vector<RunRow> runs = runs_in(path);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].cells, 200);
  EXPECT_EQ(runs[1].cells, 200);
}

TEST(HistoryCommand, AnInterruptedRunKeepsWhatItRankedAndIsMarkedStopped) {
  Engines engines;
  const std::string path = temp_history("interrupted");
  testing::ChildProgram child(kBatch, {"-e", "baidu", "--history", path},
                              {{"http_proxy", engines.server.base_url()}},
                              "shop.example|seo\nshop.example|stall");
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (engines.server.request_count() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  child.signal(SIGINT);
  EXPECT_EQ(child.wait().exit_code, 130);
  const std::vector<RunRow> runs = runs_in(path);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].state, RunState::stopped);
  EXPECT_EQ(runs[0].cells, 1);
  EXPECT_EQ(runs[0].ranked, 1);
}

// A writer killed mid-run leaves a sound database holding at least what was committed.
TEST(HistoryCommand, KillingTheBatchMidRunNeverDamagesTheDatabase) {
  Engines engines;
  const std::string path = temp_history("killed");
  std::string list;
  for (int i = 0; i < 5000; ++i) list += "shop.example|k" + std::to_string(i) + "\n";
  testing::ChildProgram child(kBatch, {"-e", "baidu", "--history", path},
                              {{"http_proxy", engines.server.base_url()}}, list);
  std::size_t seen = 0;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (seen < 100 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
    try {
      seen = HistoryStore::open_for_reading(path, 1000).records({}).size();
    } catch (const SQLite::Exception&) {
      // not created yet
    }
  }
  ASSERT_GE(seen, 100u);
  child.signal(SIGKILL);
  child.wait();
  SQLite::Database database(path, SQLite::OPEN_READWRITE);
  EXPECT_EQ(database.execAndGet("PRAGMA integrity_check").getString(), "ok");
  HistoryStore store = HistoryStore::open_for_reading(path, 1000);
  EXPECT_GE(store.records({}).size(), seen);
  EXPECT_LT(store.records({}).size(), 5000u) << "killed before the end";
  EXPECT_EQ(store.runs().at(0).state, RunState::running);
}

}  // namespace
}  // namespace quillrank
