// The history writer: everything queued reaches the database, from many threads and two
// writers at once; a database it cannot use is reported once and never stops the callers.
#include "history/history_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "history/every_store.h"
#include "history/history_store.h"
#include "history/temp_history.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::temp_history;

CellRecord ranked(int rank, const std::string& keyword = "seo") {
  return {.site = "shop.example",
          .keyword = keyword,
          .engine = "baidu",
          .text = "第" + std::to_string(rank) + "名",
          .rank = rank,
          .verdict = "result",
          .reason = "",
          .time_ms = now_ms()};
}

struct Failures {
  std::atomic<int> count{0};
  std::string last;  // written before count is raised
  HistoryWriter::Failure hook() {
    return [this](const std::string& message) {
      last = message;
      ++count;
    };
  }
};

using HistoryWriterOn = testing::EveryStore;
QUILLRANK_ON_EVERY_STORE(HistoryWriterOn);

TEST_P(HistoryWriterOn, CommitsEveryRecordFromManyThreadsWithItsRun) {
  const std::string path = location_;
  Failures failures;
  {
    HistoryWriter writer({.path = path, .commit_at = 50}, failures.hook());
    const HistoryWriter::RunId run = writer.start_run(now_ms(), "baidu,google", "window", "");
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&writer, run, t] {
        for (int i = 1; i <= 250; ++i) writer.record(run, ranked(i, "k" + std::to_string(t)));
      });
    }
    threads.clear();
    writer.end_run(run, RunState::completed, now_ms());
  }
  EXPECT_EQ(failures.count, 0) << failures.last;
  const std::unique_ptr<RankHistory> opened = open_history_for_reading(path, 1000);
  RankHistory& store = *opened;
  const std::vector<RunRow> runs = store.runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].cells, 1000);
  EXPECT_EQ(runs[0].state, RunState::completed);
  EXPECT_EQ(runs[0].engines, "baidu,google");
  EXPECT_EQ(runs[0].source, "window");
  EXPECT_EQ(store.records({.keyword = "k2"}).size(), 250u);
}

TEST(HistoryWriter, FlushMakesTheQueuedRecordsVisibleBeforeTheSecondIsUp) {
  const std::string path = temp_history("flush");
  HistoryWriter writer({.path = path, .commit_every = 60s}, {});
  const HistoryWriter::RunId run = writer.start_run(now_ms(), "baidu", "window", "");
  writer.record(run, ranked(3));
  writer.flush();
  EXPECT_EQ(HistoryStore::open_for_reading(path, 1000).records({}).size(), 1u);
  writer.end_run(run, RunState::stopped, now_ms());
  writer.flush();
  EXPECT_EQ(HistoryStore::open_for_reading(path, 1000).runs().at(0).state, RunState::stopped);
}

TEST(HistoryWriter, TwoWritersOnOneDatabaseBothSucceed) {
  const std::string path = temp_history("two");
  Failures failures;
  {
    HistoryWriter window({.path = path, .commit_at = 10}, failures.hook());
    HistoryWriter batch({.path = path, .commit_at = 10}, failures.hook());
    const auto a = window.start_run(now_ms(), "baidu", "window", "");
    const auto b = batch.start_run(now_ms(), "google", "batch", "");
    for (int i = 1; i <= 500; ++i) {
      window.record(a, ranked(i));
      batch.record(b, ranked(i));
    }
  }
  EXPECT_EQ(failures.count, 0) << failures.last;
  const std::vector<RunRow> runs = HistoryStore::open_for_reading(path, 1000).runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].cells + runs[1].cells, 1000);
}

TEST(HistoryWriter, ACorruptOrUnopenableDatabaseIsReportedOnceAndDropsRecords) {
  const std::string corrupt = temp_history("corrupt");
  testing::write_file(corrupt, std::string(8192, '\x5A'));
  const std::string folder_in_the_way = temp_history("folder");
  std::filesystem::create_directories(folder_in_the_way);
  // A PostgreSQL server that is not there (nothing listens on that socket) is told the same way.
  const std::string no_server = "postgresql://quill:s3cret@/history?host=/nonexistent-quillrank";
  for (const std::string& path : {corrupt, folder_in_the_way, no_server}) {
    Failures failures;
    {
      HistoryWriter writer({.path = path, .commit_at = 5}, failures.hook());
      const auto run = writer.start_run(now_ms(), "baidu", "batch", "");
      for (int i = 1; i <= 100; ++i) writer.record(run, ranked(i));
      writer.flush();
      writer.end_run(run, RunState::completed, now_ms());
    }
    EXPECT_EQ(failures.count, 1) << path;
    EXPECT_FALSE(failures.last.empty());
    EXPECT_EQ(failures.last.find("s3cret"), std::string::npos) << failures.last;
  }
  EXPECT_EQ(testing::read_file(corrupt), std::string(8192, '\x5A')) << "never overwritten";
}

TEST(HistoryWriter, GivesUpOnADatabaseLockedPastTheBusyTimeoutButWaitsOutAShortLock) {
  const std::string path = temp_history("locked");
  { HistoryStore::open_for_writing(path, 1000); }
  for (const bool long_lock : {true, false}) {
    SQLite::Database holder(path, SQLite::OPEN_READWRITE);
    holder.exec("BEGIN EXCLUSIVE");
    Failures failures;
    {
      HistoryWriter writer({.path = path, .busy_timeout_ms = long_lock ? 200 : 5000},
                           failures.hook());
      const auto run = writer.start_run(now_ms(), "baidu", "batch", "");
      writer.record(run, ranked(1));
      if (!long_lock) {
        std::this_thread::sleep_for(300ms);
        holder.exec("COMMIT");
      }
      writer.flush();
    }
    if (long_lock) holder.exec("COMMIT");
    EXPECT_EQ(failures.count, long_lock ? 1 : 0) << failures.last;
  }
  EXPECT_EQ(HistoryStore::open_for_reading(path, 1000).records({}).size(), 1u);
}

}  // namespace
}  // namespace quillrank
