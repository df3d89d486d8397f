#include "engines/run_results.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engines/cell_texts.h"

namespace quillrank {
namespace {

RunRows rows_of(int count) {
  auto rows = std::make_shared<std::vector<QueryRow>>();
  for (int row = 0; row < count; ++row) {
    rows->push_back({GbkText("site" + std::to_string(row) + ".example"), GbkText("seo"), {}});
  }
  return rows;
}

RowResult ranked(int rank) {
  RowResult result;
  result.rank = rank;
  result.text = GbkText("#" + std::to_string(rank));
  return result;
}

TEST(RunResults, ARunsRowsStartAsTheirEnginesStandAndReadEmptyOutsideThem) {
  RunResults results;
  EXPECT_EQ(results.row_count(), 0);
  EXPECT_TRUE(results.rows()->empty());
  results.reset(rows_of(2), {CellState::querying, CellState::not_asked});
  EXPECT_EQ(results.row_count(), 2);
  EXPECT_EQ(results.engine_count(), 2u);
  EXPECT_EQ(results.row(1).site, "site1.example");
  EXPECT_EQ(site_cell_text(results.row(1)), "http://site1.example");
  EXPECT_EQ(cell_text(results.cell(0, 0)), kQueryingText);
  EXPECT_EQ(cell_text(results.cell(0, 1)), kNotStartedText);
  for (auto [row, engine] : {std::pair{2, 0u}, {-1, 0u}, {0, 2u}}) {
    EXPECT_FALSE(results.set_result(row, engine, ranked(1))) << row << "," << engine;
    EXPECT_EQ(results.cell(row, engine).state, CellState::not_asked);
  }
  EXPECT_EQ(results.row(2), QueryRow{});
  ASSERT_TRUE(results.set_result(1, 1, ranked(7)));
  EXPECT_EQ(results.cell(1, 1).state, CellState::done);
  EXPECT_EQ(results.cell(1, 1).result.rank, 7);
  EXPECT_EQ(cell_text(results.cell(1, 1)), "#7");
  results.clear();
  EXPECT_EQ(results.row_count(), 0);
  EXPECT_EQ(results.cell(1, 1).state, CellState::not_asked);
}

TEST(RunResults, NotifiesAfterEachChangeOutsideTheLock) {
  RunResults results;
  std::vector<ResultChange> seen;
  results.set_observer([&](const ResultChange& change) {
    seen.push_back(change);
    results.row_count();  // the observer may read the results: the lock is already released
  });
  results.reset(rows_of(1), {CellState::querying, CellState::querying});
  results.set_result(0, 1, ranked(3));
  results.set_result(7, 1, ranked(3));  // no change, no notification
  results.clear();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].kind, ResultChange::Kind::rows_reset);
  EXPECT_EQ(seen[1].kind, ResultChange::Kind::cell_changed);
  EXPECT_EQ(seen[1].row, 0);
  EXPECT_EQ(seen[1].engine, 1u);
  EXPECT_EQ(seen[2].kind, ResultChange::Kind::rows_reset);
}

// While an engine waits for a verification its undecided cells read "等待验证"; decided cells
// and other engines' keep theirs. Two members waiting at once: the engine waits until both went
// on, and only the first to wait and the last to go on are changes. A new run waits for nothing.
TEST(RunResults, AnEngineThatWaitsShowsItInItsUndecidedCellsOnly) {
  RunResults results;
  std::vector<ResultChange> seen;
  results.set_observer([&](const ResultChange& change) { seen.push_back(change); });
  results.reset(rows_of(2), {CellState::querying, CellState::querying, CellState::not_asked});
  results.set_result(0, 1, ranked(3));
  seen.clear();
  const auto texts = [&] {
    std::vector<std::string> shown;
    for (int row = 0; row < 2; ++row) {
      for (std::size_t engine = 0; engine < 3; ++engine) {
        shown.emplace_back(cell_text(results.cell(row, engine)));
      }
    }
    return shown;
  };
  const std::vector<std::string> before = texts();
  results.set_waiting(1, true);
  results.set_waiting(1, true);
  const std::string waiting(kWaitingText), querying(kQueryingText), idle(kNotStartedText);
  EXPECT_EQ(texts(), (std::vector<std::string>{querying, "#3", idle, querying, waiting, idle}));
  EXPECT_EQ(results.cell(1, 1).state, CellState::waiting);
  results.set_waiting(1, false);
  EXPECT_EQ(cell_text(results.cell(1, 1)), kWaitingText) << "one member still waits";
  results.set_waiting(1, false);
  EXPECT_EQ(texts(), before);
  results.set_waiting(7, true);  // no such engine: nothing
  ASSERT_EQ(seen.size(), 2u);
  for (const ResultChange& change : seen) {
    EXPECT_EQ(change.kind, ResultChange::Kind::engine_changed);
    EXPECT_EQ(change.engine, 1u);
  }

  results.set_waiting(0, true);
  results.reset(rows_of(1), {CellState::querying});
  EXPECT_EQ(cell_text(results.cell(0, 0)), kQueryingText);
}

TEST(RunResults, EightWritersAndAReaderKeepEveryLastWrite) {
  RunResults results;
  constexpr int kRows = 200;
  constexpr std::size_t kEngines = 8;
  results.reset(rows_of(kRows), std::vector<CellState>(kEngines, CellState::querying));
  std::atomic<bool> writing{true};
  std::thread reader([&] {
    while (writing) EXPECT_EQ(results.row_count(), kRows);
  });
  std::vector<std::thread> writers;
  for (std::size_t engine = 0; engine < kEngines; ++engine) {
    writers.emplace_back([&results, engine] {
      for (int pass = 0; pass < 20; ++pass) {
        for (int row = 0; row < kRows; ++row) {
          results.set_result(row, engine, ranked(pass * 1000 + row + static_cast<int>(engine)));
        }
      }
    });
  }
  for (auto& writer : writers) writer.join();
  writing = false;
  reader.join();
  for (int row = 0; row < kRows; ++row) {
    for (std::size_t engine = 0; engine < kEngines; ++engine) {
      EXPECT_EQ(results.cell(row, engine).result.rank, 19000 + row + static_cast<int>(engine));
    }
  }
}

}  // namespace
}  // namespace quillrank
