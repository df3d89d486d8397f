#include "app/run_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/list_host.h"
#include "support/fake_pages.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;

using FakeHost = ListHost;

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

std::string cell(const ResultTable& table, int row, int column) {
  return gbk_to_utf8(table.get_cell_text(row, column));
}

void wait_until(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(done());
}

TEST(StartQuery, BuildsOneRowPerPairWithStatusCellsBeforeWorkersRank) {
  FakeHost host("siteA|seo\r\nhttp://siteB|web");
  ResultTable table;
  Pages pages;
  pages.hold();
  RunControl control(host, table, pages.source(), no_home_pages());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.start_query();
  ASSERT_EQ(table.row_count(), 2);
  EXPECT_EQ(cell(table, 0, 0), "http://siteA");
  EXPECT_EQ(cell(table, 0, 1), "seo");
  EXPECT_EQ(cell(table, 1, 0), "http://siteB");
  EXPECT_EQ(cell(table, 1, 1), "web");
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(cell(table, row, 2), "查询中…");
    EXPECT_EQ(cell(table, row, 3), "查询中…");
    EXPECT_EQ(cell(table, row, 4), "未启动");
    EXPECT_EQ(cell(table, row, 5), "未启动");
  }
  EXPECT_TRUE(control.worker_active(0));
  EXPECT_TRUE(control.worker_active(1));
  EXPECT_FALSE(control.worker_active(2));
  pages.release();
  wait_until([&] { return !control.worker_active(0) && !control.worker_active(1); });
  EXPECT_EQ(cell(table, 1, 2), "排在300后");
  EXPECT_EQ(cell(table, 1, 3), "排在300后");
  EXPECT_EQ(cell(table, 1, 4), "未启动");
}

TEST(StartQuery, StartsOnlyTheTickedEnginesAndReportsTheEndOfTheRun) {
  struct Case {
    std::array<bool, 4> ticks;
    int fetches;  // per row, for a site found nowhere
  };
  const Case cases[] = {{{false, false, false, false}, 0},
                        {{false, false, false, true}, 30},
                        {{true, true, true, true}, 39}};
  for (const Case& c : cases) {
    FakeHost host("a|b", c.ticks);
    ResultTable table;
    Pages pages;
    std::atomic<int> finished{0};
    RunControl control(host, table, pages.source(), no_home_pages());
    control.set_profiles(builtin_profiles(ProfileSet::classic));
    control.set_run_finished([&](RunControl::RunEnd end) {
      EXPECT_EQ(end, RunControl::RunEnd::completed);
      ++finished;
    });
    control.start_query();
    wait_until([&] { return finished == 1; });
    EXPECT_EQ(pages.fetches(), c.fetches);
    for (int engine = 0; engine < 4; ++engine) {
      EXPECT_EQ(cell(table, 0, 2 + engine), c.ticks[engine] ? "排在300后" : "未启动");
      EXPECT_FALSE(control.worker_active(engine));
    }
  }
}

// An engine whose thread cannot start has no ranks to give: its column says so, the others
// rank on, and the run ends as stopped, not completed, whichever engine failed.
TEST(StartQuery, AnEngineWhoseWorkerCannotStartEndsTheRunAsStopped) {
  for (int failing = 0; failing < 2; ++failing) {
    FakeHost host("a|b", {true, true, false, false});
    ResultTable table;
    Pages pages;
    std::atomic<int> finished{0};
    std::atomic<bool> completed{true};
    RunControl control(host, table, pages.source(), no_home_pages());
    control.set_profiles(builtin_profiles(ProfileSet::classic));
    int started = 0;
    control.set_start_thread([&](std::function<void(std::stop_token)> work) {
      if (started++ == failing) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      return std::jthread(std::move(work));
    });
    control.set_run_finished([&](RunControl::RunEnd end) {
      completed = end == RunControl::RunEnd::completed;
      ++finished;
    });
    control.start_query();
    wait_until([&] { return finished == 1; });
    EXPECT_FALSE(completed) << "engine " << failing;
    EXPECT_EQ(cell(table, 0, 2 + failing), "查询失败");
    EXPECT_NE(table.get_cell_detail(0, 2 + failing), "");
    EXPECT_EQ(cell(table, 0, 3 - failing), "排在300后");
    control.release_worker_handles();
  }
}

TEST(StartQuery, ARestartDuringARunStopsItAndRebuildsTheTable) {
  FakeHost host("a|b\r\nc|d");
  ResultTable table;
  Pages pages;
  pages.hold();
  std::atomic<int> finished{0};
  RunControl control(host, table, pages.source(), no_home_pages());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.set_run_finished([&](RunControl::RunEnd) { ++finished; });
  control.start_query();
  wait_until([&] { return pages.fetches() == 2; });

  host.set_box_text("x|y");
  control.start_query();  // must not wait for the held pages
  ASSERT_EQ(table.row_count(), 1);
  EXPECT_EQ(cell(table, 0, 0), "http://x");
  EXPECT_EQ(cell(table, 0, 2), "查询中…");
  pages.release();
  wait_until([&] { return finished == 1; });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(finished, 1) << "the stopped run reports no end";
  EXPECT_EQ(table.row_count(), 1);
  EXPECT_EQ(cell(table, 0, 2), "排在300后");
}

TEST(StartQuery, ShutdownDuringARunStopsEveryWorker) {
  FakeHost host("a|b", {true, true, true, true});
  ResultTable table;
  Pages pages;
  pages.hold();
  {
    RunControl control(host, table, pages.source(), no_home_pages());
    control.set_profiles(builtin_profiles(ProfileSet::classic));
    control.start_query();
    wait_until([&] { return pages.fetches() == 4; });
  }  // the destructor stops and joins them
  for (int engine = 0; engine < 4; ++engine) EXPECT_EQ(cell(table, 0, 2 + engine), "查询中…");
}

TEST(StartQuery, ReleaseLeavesEverySlotEmptyAndCanRunAgain) {
  FakeHost host("a|b");
  ResultTable table;
  Pages pages;
  RunControl control(host, table, pages.source(), no_home_pages());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.release_worker_handles();  // nothing to release yet
  control.start_query();
  control.release_worker_handles();
  control.release_worker_handles();
  for (int engine = 0; engine < 4; ++engine) EXPECT_FALSE(control.worker_active(engine));
  control.start_query();
  wait_until([&] { return !control.worker_active(0) && !control.worker_active(1); });
  EXPECT_EQ(cell(table, 0, 2), "排在300后");
}

TEST(StartQuery, ExpandsSiteEntriesIntoTheBoxBeforeSplitting) {
  FakeHost host("[http://home.example]\r\nz|w", {false, false, false, false});
  ResultTable table;
  Pages pages;
  std::vector<std::string> fetched;
  RunControl control(host, table, pages.source(), [&](std::string_view url, std::stop_token) {
    fetched.emplace_back(url);
    return testing::served("<title>Home-Shop</title>");
  });
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.start_query();
  EXPECT_EQ(fetched, std::vector<std::string>{"http://home.example"});
  EXPECT_EQ(host.box(), "home.example|Home\r\nhome.example|Shop\r\nz|w");
  ASSERT_EQ(table.row_count(), 3);
  EXPECT_EQ(cell(table, 1, 1), "Shop");
}

// A host whose box shows the text in its own way, as a widget does: every line break it is
// given becomes a line of its own.
class RenderingHost : public FakeHost {
 public:
  using FakeHost::FakeHost;
  void set_box_text(std::string_view text) override {
    box_ = GbkText(text);
    for (std::size_t at = 0; (at = box_.find_first_of("\r\n", at)) != GbkText::npos;) {
      box_.replace(at, box_[at] == '\r' && box_[at + 1] == '\n' ? 2 : 1, "\r\n");
      at += 2;
    }
  }
};

TEST(StartQuery, SplitsTheExpansionsOwnTextWithLineBreaksInWordsAsBlanks) {
  struct Case {
    const char* title;
    std::vector<std::pair<std::string, std::string>> rows;
  };
  const Case cases[] = {
      {"<title>\r\n  Foo-Bar\r\n</title>", {{"lf.example", "    Foo"}, {"lf.example", "Bar  "}}},
      {"<title>\n  Foo-Bar\n</title>", {{"lf.example", "   Foo"}, {"lf.example", "Bar "}}},
      {"<title>a\rb\tc</title>", {{"lf.example", "a b c"}}},
  };
  for (const Case& c : cases) {
    RenderingHost host("[lf.example]", {false, false, false, false});
    ResultTable table;
    Pages pages;
    RunControl control(host, table, pages.source(), [&](std::string_view, std::stop_token) {
      return testing::served(std::string("<meta charset=gb2312>") + c.title);
    });
    control.set_profiles(builtin_profiles(ProfileSet::classic));
    control.start_query();
    std::vector<std::pair<std::string, std::string>> rows;
    for (int row = 0; row < table.row_count(); ++row)
      rows.emplace_back(cell(table, row, 0), cell(table, row, 1));
    std::vector<std::pair<std::string, std::string>> expected;
    std::string box;
    for (const auto& [site, keyword] : c.rows) {
      // The box keeps each word as the page has it; the row's keyword loses its blanks.
      expected.emplace_back(
          "http://" + site,
          keyword.substr(keyword.find_first_not_of(' '),
                         keyword.find_last_not_of(' ') - keyword.find_first_not_of(' ') + 1));
      box += (box.empty() ? "" : "\r\n") + site + "|" + keyword;
    }
    EXPECT_EQ(rows, expected) << c.title;
    EXPECT_EQ(host.box(), box) << "each word one line in the box";
  }
}

// A site entry whose home page fails is a row of its own that asks nothing; a line that holds
// no pair is no row, and the lines after it keep their pairs.
TEST(StartQuery, AFailedSiteEntryIsAFailedRowAndABadLineIsNoRow) {
  FakeHost host("siteA\r\n[down.example]\r\nsiteB|web", {true, false, false, true});
  ResultTable table;
  Pages pages;
  std::atomic<int> finished{0};
  std::vector<std::string> written;  // engine, row and text of each final cell
  std::mutex written_mutex;
  RunControl control(host, table, pages.source(), no_home_pages());
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.set_run_finished([&](RunControl::RunEnd) { ++finished; });
  control.set_cell_written([&](int engine, const WrittenCell& written_cell) {
    const std::lock_guard lock(written_mutex);
    written.push_back(std::to_string(engine) + ":" + std::to_string(written_cell.row) + ":" +
                      gbk_to_utf8(written_cell.text));
  });
  const KeywordList list = control.start_query();
  EXPECT_EQ(list.left_out_count, 1u);
  wait_until([&] { return finished == 1; });
  EXPECT_EQ(host.box(), "siteA\r\n[down.example]\r\nsiteB|web") << "the entry stays";
  ASSERT_EQ(table.row_count(), 2);
  EXPECT_EQ(cell(table, 0, 0), "http://down.example");
  EXPECT_EQ(cell(table, 0, 1), "");
  for (const int column : {2, 5}) {
    EXPECT_EQ(cell(table, 0, column), "查询失败");
    const std::string detail = gbk_to_utf8(table.get_cell_detail(0, column));
    EXPECT_NE(detail.find("[down.example]"), std::string::npos) << detail;
    EXPECT_NE(detail.find("http://down.example"), std::string::npos) << detail;
    EXPECT_EQ(cell(table, 1, column), "排在300后");
  }
  EXPECT_EQ(cell(table, 0, 3), "未启动");
  EXPECT_EQ(cell(table, 1, 1), "web");
  EXPECT_EQ(pages.fetches(), 3 + 30) << "only siteB's keyword was asked for";
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"0:0:查询失败", "0:1:排在300后", "3:0:查询失败",
                                               "3:1:排在300后"}));
}

TEST(StartQuery, AStopDuringTheExpansionLeavesBoxAndTableAndStartsNoWorker) {
  FakeHost host("[a.example]\r\n[b.example]", {true, true, false, false});
  ResultTable table;
  Pages pages;
  std::stop_source stop;
  std::vector<std::string> fetched;
  RunControl control(host, table, pages.source(), [&](std::string_view url, std::stop_token) {
    fetched.emplace_back(url);
    stop.request_stop();  // as Ctrl-C or a second press would, while the page loads
    return testing::unreachable();
  });
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  control.start_query(stop.get_token());
  EXPECT_EQ(fetched, std::vector<std::string>{"http://a.example"}) << "no further fetch";
  EXPECT_EQ(host.box(), "[a.example]\r\n[b.example]");
  EXPECT_EQ(table.row_count(), 0);
  EXPECT_FALSE(control.worker_active(0));
  EXPECT_EQ(pages.fetches(), 0);
}

TEST(ExpandEntries, ReportsEachDistinctEntryBeforeItsFetch) {
  FakeHost host("");
  ResultTable table;
  Pages pages;
  std::vector<std::string> events;
  RunControl control(host, table, pages.source(), [&](std::string_view url, std::stop_token) {
    events.emplace_back(url);
    return testing::unreachable();
  });
  control.set_profiles(builtin_profiles(ProfileSet::classic));
  const GbkText expanded = control.expand_entries(
      "[a.example]|x\r\n[b.example]\r\n[a.example]", {}, [&](int entry, int entries) {
        events.push_back(std::to_string(entry) + "/" + std::to_string(entries));
      });
  EXPECT_EQ(events,
            (std::vector<std::string>{"1/2", "http://a.example", "2/2", "http://b.example"}));
  EXPECT_EQ(expanded, "[a.example]|x\r\n[b.example]\r\n[a.example]") << "no page, no lines";
  EXPECT_EQ(table.row_count(), 0) << "the expansion touches no table";
}

}  // namespace
}  // namespace quillrank
