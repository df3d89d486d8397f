// The shared queue of rows: claims in order and never twice at once, leases that end when not
// renewed, a cell recorded once by the lease's holder, and a run completed by its last cell.
#include "history/row_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "history/history_writer.h"
#include "support/test_postgres.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;

CellRecord ranked(const ClaimedCell& claimed, int rank) {
  return {.site = claimed.asked.site,
          .keyword = claimed.asked.keyword,
          .engine = claimed.engine,
          .text = "第" + std::to_string(rank) + "名",
          .rank = rank,
          .verdict = "result",
          .reason = "",
          .time_ms = now_ms()};
}

std::vector<QueuedRow> rows(int count) {
  std::vector<QueuedRow> made;
  for (int i = 0; i < count; ++i) made.push_back({"shop.example", "k\"w\\" + std::to_string(i)});
  return made;
}

TEST(RowQueue, ClaimsEachCellOnceInRowOrderAndCompletesTheRunWithItsLastCell) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string url = server->new_database();
  RowQueue first = RowQueue::open(url, 2000, "first");
  RowQueue second = RowQueue::open(url, 2000, "second");
  const std::int64_t run = first.enqueue({"baidu", "google"}, rows(2), {}, "客户 A");
  EXPECT_EQ(first.state(run), RunState::running);
  EXPECT_EQ(first.open_cells("baidu"), 2);

  const std::optional<ClaimedCell> a = first.claim("baidu", 60s);
  const std::optional<ClaimedCell> b = second.claim("baidu", 60s);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->row, 0);
  EXPECT_EQ(b->row, 1);
  EXPECT_EQ(a->asked.keyword, "k\"w\\0") << "quotes and backslashes survive the array";
  EXPECT_FALSE(first.claim("baidu", 60s)) << "both baidu cells are held";

  EXPECT_FALSE(second.complete(*a, ranked(*a, 3))) << "only the lease's holder records";
  EXPECT_TRUE(first.complete(*a, ranked(*a, 3)));
  EXPECT_FALSE(first.complete(*a, ranked(*a, 3))) << "a cell is recorded once";
  EXPECT_TRUE(second.complete(*b, ranked(*b, 5)));
  EXPECT_EQ(first.open_cells("baidu"), 0);
  EXPECT_EQ(first.state(run), RunState::running) << "google's cells are open";

  for (int i = 0; i < 2; ++i) {
    const std::optional<ClaimedCell> g = first.claim("google", 60s);
    ASSERT_TRUE(g);
    EXPECT_TRUE(first.complete(*g, ranked(*g, 1)));
  }
  EXPECT_EQ(first.state(run), RunState::completed);
  const std::optional<QueuedRun> done = first.run(run);
  ASSERT_TRUE(done);
  ASSERT_EQ(done->rows.size(), 2u);
  EXPECT_EQ(done->cells[1][0]->rank, 5);
  EXPECT_EQ(done->cells[0][1]->engine, "google");
  EXPECT_EQ(first.history().records({}).size(), 4u) << "the cells are history records";
  EXPECT_EQ(first.history().records({.project = "客户 A"}).size(), 4u) << "of the run's project";
  EXPECT_EQ(first.state(run + 1), std::nullopt);
}

TEST(RowQueue, AClaimNotRenewedExpiresAndGoesToAnotherWorker) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string url = server->new_database();
  RowQueue lost = RowQueue::open(url, 2000, "lost");
  RowQueue kept = RowQueue::open(url, 2000, "kept");
  RowQueue other = RowQueue::open(url, 2000, "other");
  lost.enqueue({"baidu"}, rows(2), {}, "");
  const std::optional<ClaimedCell> expiring = lost.claim("baidu", 300ms);
  const std::optional<ClaimedCell> renewed = kept.claim("baidu", 300ms);
  ASSERT_TRUE(expiring && renewed);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(kept.renew(300ms), 1);
  std::this_thread::sleep_for(250ms);  // past the first lease, inside the renewed one

  const std::optional<ClaimedCell> taken = other.claim("baidu", 60s);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->row, expiring->row);
  EXPECT_FALSE(other.claim("baidu", 60s)) << "the renewed claim holds";
  EXPECT_FALSE(lost.complete(*expiring, ranked(*expiring, 1))) << "taken over: not recorded";
  EXPECT_TRUE(other.complete(*taken, ranked(*taken, 2)));
  EXPECT_TRUE(kept.complete(*renewed, ranked(*renewed, 3)));
  EXPECT_EQ(other.history().records({}).size(), 2u);
}

TEST(RowQueue, RowsDecidedWhenQueuedAreRecordedAtOnce) {
  QUILLRANK_NEED_POSTGRES(server);
  RowQueue queue = RowQueue::open(server->new_database(), 2000, "me");
  CellRecord failed{.site = "[bad.example]",
                    .keyword = "",
                    .engine = "baidu",
                    .text = "查询失败",
                    .rank = std::nullopt,
                    .verdict = "failed",
                    .reason = "no home page",
                    .time_ms = 1};
  const std::int64_t run = queue.enqueue({"baidu"}, {{"[bad.example]", ""}}, {{0, failed}}, "");
  EXPECT_EQ(queue.state(run), RunState::completed);
  EXPECT_FALSE(queue.claim("baidu", 60s));
  EXPECT_EQ(queue.run(run)->cells[0][0]->reason, "no home page");
}

// Workers at once, each with its own connection: no cell is claimed twice, every one recorded.
TEST(RowQueue, ConcurrentWorkersRecordEveryCellExactlyOnce) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string url = server->new_database();
  constexpr int kRows = 200;
  const std::int64_t run =
      RowQueue::open(url, 2000, "queuer").enqueue({"baidu"}, rows(kRows), {}, "");
  std::atomic<int> recorded{0};
  {
    std::vector<std::jthread> workers;
    for (int w = 0; w < 4; ++w) {
      workers.emplace_back([&, w] {
        RowQueue queue = RowQueue::open(url, 2000, "w" + std::to_string(w));
        while (const std::optional<ClaimedCell> claimed = queue.claim("baidu", 60s)) {
          if (queue.complete(*claimed, ranked(*claimed, claimed->row + 1))) ++recorded;
        }
      });
    }
  }
  EXPECT_EQ(recorded, kRows);
  RowQueue reader = RowQueue::open(url, 2000, "reader");
  EXPECT_EQ(reader.state(run), RunState::completed);
  const QueuedRun done = *reader.run(run);
  for (int row = 0; row < kRows; ++row) EXPECT_EQ(done.cells[row][0]->rank, row + 1);
  EXPECT_EQ(reader.history().records({}).size(), static_cast<std::size_t>(kRows));
}

}  // namespace
}  // namespace quillrank
