#include "app/run_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engines/builtin_profiles.h"
#include "history/history_store.h"
#include "history/temp_history.h"
#include "support/fake_pages.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;

// Result pages that hold nothing, served at once, or held back until released or stopped.
class Pages {
 public:
  PageSource source() {
    return [this](std::string_view, std::stop_token stop) {
      ++fetches_;
      while (!open_ && !stop.stop_requested()) std::this_thread::sleep_for(1ms);
      return testing::results_elsewhere();
    };
  }
  void hold() { open_ = false; }
  void release() { open_ = true; }
  int fetches() const { return fetches_; }

 private:
  std::atomic<bool> open_{true};
  std::atomic<int> fetches_{0};
};

PageSource no_home_pages() {
  return [](std::string_view, std::stop_token) { return testing::unreachable(); };
}

// The text the result list shows in a cell (column 0 the site, 1 the keyword, 2.. the engines).
std::string cell(const RunResults& results, int row, int column) {
  if (column == 0) return gbk_to_utf8(site_cell_text(results.row(row)));
  if (column == 1) return gbk_to_utf8(results.row(row).keyword);
  return gbk_to_utf8(cell_text(results.cell(row, static_cast<std::size_t>(column - 2))));
}
std::string detail(const RunResults& results, int row, int column) {
  return gbk_to_utf8(results.cell(row, static_cast<std::size_t>(column - 2)).result.detail);
}

void wait_until(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(done());
}

// A session over the classic engines, as the tests drive it.
struct Session {
  explicit Session(PageSource pages, PageSource home_pages = no_home_pages())
      : session(results, std::move(pages), std::move(home_pages)) {
    session.set_engines(builtin_engines(ProfileSet::classic));
  }
  // What a host does with its box: expand the site entries, split that text, start.
  KeywordList run(std::string_view box, const EngineTicks& ticks = {true, true, false, false},
                  std::stop_token stop = {}) {
    ExpansionReport report;
    expanded = session.expand_entries(box, stop, {}, &report);
    if (stop.stop_requested()) return {};
    KeywordList list = split_keyword_list(expanded);
    session.start(list, ticks, report.failed);
    return list;
  }
  RunResults results;
  RunSession session;
  GbkText expanded;
};

TEST(RunSession, BuildsOneRowPerPairWithStatusCellsBeforeWorkersRank) {
  Pages pages;
  pages.hold();
  Session run(pages.source());
  run.run("siteA|seo\r\nhttp://siteB|web");
  const RunResults& results = run.results;
  ASSERT_EQ(results.row_count(), 2);
  EXPECT_EQ(results.row(0).site, "siteA") << "the site is held bare";
  EXPECT_EQ(cell(results, 0, 0), "http://siteA");
  EXPECT_EQ(cell(results, 0, 1), "seo");
  EXPECT_EQ(cell(results, 1, 0), "http://siteB");
  EXPECT_EQ(cell(results, 1, 1), "web");
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(cell(results, row, 2), "查询中…");
    EXPECT_EQ(cell(results, row, 3), "查询中…");
    EXPECT_EQ(cell(results, row, 4), "未启动");
    EXPECT_EQ(cell(results, row, 5), "未启动");
  }
  EXPECT_TRUE(run.session.engine_running(0));
  EXPECT_TRUE(run.session.engine_running(1));
  EXPECT_FALSE(run.session.engine_running(2));
  pages.release();
  wait_until([&] { return !run.session.running(); });
  EXPECT_EQ(cell(results, 1, 2), "排在300后");
  EXPECT_EQ(cell(results, 1, 3), "排在300后");
  EXPECT_EQ(cell(results, 1, 4), "未启动");
  EXPECT_EQ(run.session.rows_ranked(), 2);
}

TEST(RunSession, StartsOnlyTheTickedEnginesAndReportsTheEndOfTheRun) {
  struct Case {
    EngineTicks ticks;
    int fetches;  // per row, for a site found nowhere
  };
  const Case cases[] = {{{false, false, false, false}, 0},
                        {{false, false, false, true}, 30},
                        {{true, true, true, true}, 39},
                        {{true}, 3}};  // missing ticks are off
  for (const Case& c : cases) {
    Pages pages;
    Session run(pages.source());
    std::atomic<int> finished{0};
    run.session.set_run_finished([&](RunSession::RunEnd end) {
      EXPECT_EQ(end, RunSession::RunEnd::completed);
      ++finished;
    });
    run.run("a|b", c.ticks);
    wait_until([&] { return finished == 1; });
    EXPECT_EQ(pages.fetches(), c.fetches);
    for (std::size_t engine = 0; engine < 4; ++engine) {
      const bool ticked = engine < c.ticks.size() && c.ticks[engine];
      EXPECT_EQ(cell(run.results, 0, engine_column(engine)), ticked ? "排在300后" : "未启动");
      EXPECT_FALSE(run.session.engine_running(engine));
      EXPECT_EQ(run.session.rows_done(engine), ticked ? 1 : 0);
    }
  }
}

// An engine whose thread cannot start has no ranks to give: its column says so, the others
// rank on, and the run ends as stopped, not completed, whichever engine failed.
TEST(RunSession, AnEngineWhoseWorkerCannotStartEndsTheRunAsStopped) {
  for (int failing = 0; failing < 2; ++failing) {
    Pages pages;
    Session run(pages.source());
    std::atomic<int> finished{0};
    std::atomic<bool> completed{true};
    int started = 0;
    run.session.set_start_thread([&](std::function<void(std::stop_token)> work) {
      if (started++ == failing) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      return std::jthread(std::move(work));
    });
    run.session.set_run_finished([&](RunSession::RunEnd end) {
      completed = end == RunSession::RunEnd::completed;
      ++finished;
    });
    run.run("a|b");
    wait_until([&] { return finished == 1; });
    EXPECT_FALSE(completed) << "engine " << failing;
    EXPECT_EQ(cell(run.results, 0, 2 + failing), "查询失败");
    EXPECT_NE(detail(run.results, 0, 2 + failing), "");
    EXPECT_EQ(cell(run.results, 0, 3 - failing), "排在300后");
  }
}

TEST(RunSession, ARestartDuringARunStopsItAndRebuildsTheRows) {
  Pages pages;
  pages.hold();
  Session run(pages.source());
  std::atomic<int> finished{0};
  run.session.set_run_finished([&](RunSession::RunEnd) { ++finished; });
  run.run("a|b\r\nc|d");
  wait_until([&] { return pages.fetches() == 2; });

  run.run("x|y");  // must not wait for the held pages
  ASSERT_EQ(run.results.row_count(), 1);
  EXPECT_EQ(cell(run.results, 0, 0), "http://x");
  EXPECT_EQ(cell(run.results, 0, 2), "查询中…");
  pages.release();
  wait_until([&] { return finished == 1; });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(finished, 1) << "the stopped run reports no end";
  EXPECT_EQ(run.results.row_count(), 1);
  EXPECT_EQ(cell(run.results, 0, 2), "排在300后");
}

TEST(RunSession, ShutdownDuringARunStopsEveryWorker) {
  Pages pages;
  pages.hold();
  RunResults results;
  {
    RunSession session(results, pages.source(), no_home_pages());
    session.set_engines(builtin_engines(ProfileSet::classic));
    session.start(split_keyword_list("a|b"), {true, true, true, true});
    wait_until([&] { return pages.fetches() == 4; });
  }  // the destructor stops and joins them
  for (std::size_t engine = 0; engine < 4; ++engine) {
    EXPECT_EQ(cell(results, 0, engine_column(engine)), "查询中…");
  }
}

TEST(RunSession, StopLeavesNoWorkerAndCanRunAgain) {
  Pages pages;
  Session run(pages.source());
  run.session.stop();  // nothing to stop yet
  run.run("a|b");
  run.session.stop();
  run.session.stop();
  EXPECT_FALSE(run.session.running());
  EXPECT_EQ(run.results.row_count(), 1) << "what the run decided stays";
  run.run("a|b");
  wait_until([&] { return !run.session.running(); });
  EXPECT_EQ(cell(run.results, 0, 2), "排在300后");
}

TEST(RunSession, ExpandsSiteEntriesBeforeTheRowsAreSplit) {
  Pages pages;
  std::vector<std::string> fetched;
  Session run(pages.source(), [&](std::string_view url, std::stop_token) {
    fetched.emplace_back(url);
    return testing::served("<title>Home-Shop</title>");
  });
  run.run("[http://home.example]\r\nz|w", {false, false, false, false});
  EXPECT_EQ(fetched, std::vector<std::string>{"http://home.example"});
  EXPECT_EQ(run.expanded, "home.example|Home\r\nhome.example|Shop\r\nz|w");
  ASSERT_EQ(run.results.row_count(), 3);
  EXPECT_EQ(cell(run.results, 1, 1), "Shop");
}

TEST(RunSession, SplitsTheExpansionsOwnTextWithLineBreaksInWordsAsBlanks) {
  struct Case {
    const char* title;
    std::vector<std::pair<std::string, std::string>> rows;
  };
  const Case cases[] = {
      {"<title>\r\n  Foo-Bar\r\n</title>", {{"lf.example", "Foo"}, {"lf.example", "Bar"}}},
      {"<title>\n  Foo-Bar\n</title>", {{"lf.example", "Foo"}, {"lf.example", "Bar"}}},
      {"<title>a\rb\tc</title>", {{"lf.example", "a b c"}}},
  };
  for (const Case& c : cases) {
    Pages pages;
    Session run(pages.source(), [&](std::string_view, std::stop_token) {
      return testing::served(std::string("<meta charset=gb2312>") + c.title);
    });
    run.run("[lf.example]", {false, false, false, false});
    std::vector<std::pair<std::string, std::string>> rows;
    for (int row = 0; row < run.results.row_count(); ++row) {
      rows.emplace_back(gbk_to_utf8(run.results.row(row).site),
                        gbk_to_utf8(run.results.row(row).keyword));
    }
    EXPECT_EQ(rows, c.rows) << c.title;
  }
}

// A site entry whose home page fails is a row of its own that asks nothing; a line that holds
// no pair is no row, and the lines after it keep their pairs. Every cell is recorded.
TEST(RunSession, AFailedSiteEntryIsAFailedRowAndABadLineIsNoRow) {
  const std::string path = testing::temp_history("session-entry");
  Pages pages;
  std::atomic<int> finished{0};
  {
    HistoryWriter writer({.path = path}, [](const std::string& why) { FAIL() << why; });
    RunRecorder recorder(writer, "batch");
    Session run(pages.source());
    run.session.set_recorder(&recorder);
    run.session.set_run_finished([&](RunSession::RunEnd) { ++finished; });
    const KeywordList list =
        run.run("siteA\r\n[down.example]\r\nsiteB|web", {true, false, false, true});
    EXPECT_EQ(list.left_out_count, 1u);
    wait_until([&] { return finished == 1; });
    EXPECT_EQ(run.expanded, "siteA\r\n[down.example]\r\nsiteB|web") << "the entry stays";
    const RunResults& results = run.results;
    ASSERT_EQ(results.row_count(), 2);
    EXPECT_EQ(cell(results, 0, 0), "http://down.example");
    EXPECT_EQ(cell(results, 0, 1), "");
    for (const int column : {2, 5}) {
      EXPECT_EQ(cell(results, 0, column), "查询失败");
      const std::string why = detail(results, 0, column);
      EXPECT_NE(why.find("[down.example]"), std::string::npos) << why;
      EXPECT_NE(why.find("http://down.example"), std::string::npos) << why;
      EXPECT_EQ(cell(results, 1, column), "排在300后");
    }
    EXPECT_EQ(cell(results, 0, 3), "未启动");
    EXPECT_EQ(cell(results, 1, 1), "web");
    EXPECT_EQ(pages.fetches(), 3 + 30) << "only siteB's keyword was asked for";
  }
  HistoryStore store = HistoryStore::open_for_reading(path, 1000);
  const std::vector<RunRow> runs = store.runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].engines, "baidu,soso");
  EXPECT_EQ(runs[0].state, RunState::completed);
  std::vector<std::string> recorded;
  for (const HistoryRecord& record : store.records({})) {
    recorded.push_back(record.cell.engine + ":" + record.cell.site + ":" + record.cell.text);
  }
  std::sort(recorded.begin(), recorded.end());
  EXPECT_EQ(recorded,
            (std::vector<std::string>{"baidu:down.example:查询失败", "baidu:siteB:排在300后",
                                      "soso:down.example:查询失败", "soso:siteB:排在300后"}));
}

// The history hears every result typed: the site bare, the engine by key, the rank and the
// address that ranks; a run stopped by its host is recorded as stopped; a session given a
// project records its runs as the project's.
TEST(RunSession, RecordsTypedResultsAndHowEachRunEnded) {
  const std::string path = testing::temp_history("session-typed");
  Pages held;
  {
    HistoryWriter writer({.path = path}, [](const std::string& why) { FAIL() << why; });
    RunRecorder recorder(writer, "window");
    std::atomic<int> finished{0};
    Session run([](std::string_view, std::stop_token) {
      return testing::served(kBaidu.link_prefix +
                             "\"http://shop.example/p/2.html\" id=\"5\"><tr><td class=");
    });
    run.session.set_recorder(&recorder);
    run.session.set_run_finished([&](RunSession::RunEnd) { ++finished; });
    run.run("shop.example|seo", {true, false, false, false});
    wait_until([&] { return finished == 1; });
    EXPECT_EQ(run.results.cell(0, 0).result.rank, 4);
    EXPECT_EQ(run.results.cell(0, 0).result.address, "http://shop.example/p/2.html");

    RunSession stopped(run.results, held.source(), no_home_pages());
    stopped.set_recorder(&recorder);
    stopped.set_project("客户 A");
    held.hold();
    stopped.start(split_keyword_list("shop.example|seo"), {true});
    stopped.stop();
    writer.flush();
  }
  HistoryStore store = HistoryStore::open_for_reading(path, 1000);
  const std::vector<RunRow> runs = store.runs();
  ASSERT_EQ(runs.size(), 2u);
  const std::vector<HistoryRecord> records =
      store.records({.site = "shop.example", .keyword = "seo", .engine = "baidu"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].cell.rank, 4);
  EXPECT_EQ(records[0].cell.address, "http://shop.example/p/2.html");
  EXPECT_EQ(records[0].cell.text, "第4名");
  int stopped_runs = 0;
  for (const RunRow& row : runs) stopped_runs += row.state == RunState::stopped;
  EXPECT_EQ(stopped_runs, 1);
  EXPECT_EQ(runs[0].project, "");
  EXPECT_EQ(runs[1].project, "客户 A");
}

TEST(RunSession, AStopDuringTheExpansionStartsNothing) {
  Pages pages;
  std::stop_source stop;
  std::vector<std::string> fetched;
  Session run(pages.source(), [&](std::string_view url, std::stop_token) {
    fetched.emplace_back(url);
    stop.request_stop();  // as Ctrl-C or a second press would, while the page loads
    return testing::unreachable();
  });
  run.run("[a.example]\r\n[b.example]", {true, true, false, false}, stop.get_token());
  EXPECT_EQ(fetched, std::vector<std::string>{"http://a.example"}) << "no further fetch";
  EXPECT_EQ(run.results.row_count(), 0);
  EXPECT_FALSE(run.session.running());
  EXPECT_EQ(pages.fetches(), 0);
}

TEST(ExpandEntries, ReportsEachDistinctEntryBeforeItsFetch) {
  Pages pages;
  std::vector<std::string> events;
  Session run(pages.source(), [&](std::string_view url, std::stop_token) {
    events.emplace_back(url);
    return testing::unreachable();
  });
  const GbkText expanded = run.session.expand_entries(
      "[a.example]|x\r\n[b.example]\r\n[a.example]", {}, [&](int entry, int entries) {
        events.push_back(std::to_string(entry) + "/" + std::to_string(entries));
      });
  EXPECT_EQ(events,
            (std::vector<std::string>{"1/2", "http://a.example", "2/2", "http://b.example"}));
  EXPECT_EQ(expanded, "[a.example]|x\r\n[b.example]\r\n[a.example]") << "no page, no lines";
  EXPECT_EQ(run.results.row_count(), 0) << "the expansion touches no results";
}

}  // namespace
}  // namespace quillrank

namespace quillrank {
namespace {

// With a person to ask, a blocked engine waits: its verification is listed with the page it
// blocked, its undecided cells read "等待验证", and the answer decides: passed, the engine asks
// again and ranks on; not passed, the block stands; a stop ends the wait. Without one, the
// block stands at once.
TEST(RunSession, ABlockedEngineWaitsForAPersonsVerification) {
  enum class Then { pass, fail, stop, nobody };
  for (const Then then : {Then::pass, Then::fail, Then::stop, Then::nobody}) {
    SCOPED_TRACE(static_cast<int>(then));
    std::atomic<bool> blocking{true};
    Session run([&](std::string_view, std::stop_token) {
      return blocking ? testing::served("", 403) : testing::results_elsewhere();
    });
    std::atomic<int> changes{0};
    if (then != Then::nobody) run.session.set_verification_changed([&] { ++changes; });
    run.run("a.example|seo\r\nb.example|web", {true, false, false, false});
    if (then == Then::nobody) {
      wait_until([&] { return !run.session.running(); });
      EXPECT_EQ(cell(run.results, 1, 2), "被拦截");
      continue;
    }
    wait_until([&] { return !run.session.verifications().empty(); });
    const std::vector<PendingVerification> waiting = run.session.verifications();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].engine, 0u);
    EXPECT_EQ(waiting[0].url, query_url(builtin_engines(ProfileSet::classic)[0].profile, "seo", 1));
    EXPECT_EQ(waiting[0].member, "");
    EXPECT_EQ(changes, 1);
    for (int row = 0; row < 2; ++row) EXPECT_EQ(cell(run.results, row, 2), "等待验证");
    EXPECT_EQ(cell(run.results, 0, 3), "未启动");

    if (then == Then::stop) {
      run.session.stop();
      EXPECT_FALSE(run.session.running());
      EXPECT_EQ(cell(run.results, 0, 2), "查询中…") << "undecided, as any stopped run's cell";
    } else {
      blocking = then == Then::fail;
      run.session.answer_verification(waiting[0].id + 1, true);  // no such verification
      run.session.answer_verification(waiting[0].id, then == Then::pass);
      wait_until([&] { return !run.session.running(); });
      const char* cells = then == Then::pass ? "排在300后" : "被拦截";
      for (int row = 0; row < 2; ++row) EXPECT_EQ(cell(run.results, row, 2), cells);
    }
    EXPECT_TRUE(run.session.verifications().empty());
    EXPECT_EQ(changes, 2) << "listed, then gone";
  }
}

}  // namespace
}  // namespace quillrank
