// The result list's model: rows reach its views only when it flushes, and writers on other
// threads never wait for the model's thread while their changes still all arrive.
#include "app/window/result_table_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QItemSelection>
#include <QSignalSpy>
#include <thread>
#include <vector>

namespace quillrank {
namespace {

using Tester = QAbstractItemModelTester;

constexpr std::size_t kEngines = 4;  // the classic set's: columns 2 to 5

// A run of `rows` rows "s<n>|k<n>", every engine asked.
void fill(RunResults& results, int rows) {
  std::vector<QueryRow> asked;
  for (int row = 0; row < rows; ++row) {
    asked.push_back({"s" + std::to_string(row), "k" + std::to_string(row), ""});
  }
  results.reset(std::make_shared<const std::vector<QueryRow>>(std::move(asked)),
                std::vector<CellState>(kEngines, CellState::querying));
}

RowResult ranked(int rank) {
  RowResult result;
  result.rank = rank;
  result.text = "\xB5\xDA" + std::to_string(rank) + "\xC3\xFB";  // 第N名
  return result;
}

TEST(ResultTableModel, AnnouncesRowsOnlyWhenItFlushes) {
  RunResults results;
  ResultTableModel model(results);
  model.set_engines(builtin_engines(ProfileSet::classic));
  Tester tester(&model, Tester::FailureReportingMode::Fatal);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  fill(results, 3);
  EXPECT_EQ(model.rowCount(), 0);  // the views were told nothing yet
  model.flush();
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(reset.count(), 1);  // three rows, one announcement
  QCoreApplication::processEvents();
  EXPECT_EQ(reset.count(), 1);  // the flush the changes posted finds nothing left
  EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("http://s1"));
  EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("k1"));
  EXPECT_EQ(model.index(1, 2).data().toString(), QStringLiteral("查询中…"));

  results.set_result(1, 3, ranked(7));
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.flush();
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex(), model.index(1, 5));
  EXPECT_EQ(changed[0][1].toModelIndex(), model.index(1, 5));
  EXPECT_EQ(model.index(1, 5).data().toString(), QStringLiteral("第7名"));
}

// The marks come from the typed rank and address, never from the cell's text: a cell whose text
// reads like another rank still moves by its rank.
TEST(ResultTableModel, MarksMovementsAndAnotherRankingAddressFromTheTypedResult) {
  RunResults results;
  ResultTableModel model(results);
  model.set_engines(builtin_engines(ProfileSet::classic));
  fill(results, 1);
  model.flush();
  PastRanks past;
  past.asked_before = true;
  past.previous = 5;
  past.previous_address = "http://s0/a";
  model.set_past_ranks({{past, past, past, past}});
  auto with = [](int rank, const char* address, const char* text) {
    RowResult result = ranked(rank);
    result.address = address;
    result.text = text;
    return result;
  };
  results.set_result(0, 0, with(5, "http://s0/a", "x"));      // same rank, same address
  results.set_result(0, 1, with(5, "http://s0/b", "x"));      // same rank, another address
  results.set_result(0, 2, with(2, "http://s0/b", "第5名"));  // up, another address
  model.flush();
  const struct {
    int column;
    const char* movement;
    const char* address;
  } cases[] = {{2, "", ""}, {3, "", "⇄"}, {4, "↑3", "⇄"}, {5, "", ""}};
  for (const auto& c : cases) {
    const QModelIndex cell = model.index(0, c.column);
    EXPECT_EQ(cell.data(kMovementRole).toString(), QString::fromUtf8(c.movement)) << c.column;
    EXPECT_EQ(cell.data(kAddressMoveRole).toString(), QString::fromUtf8(c.address)) << c.column;
  }
  EXPECT_TRUE(model.index(0, 3)
                  .data(Qt::ToolTipRole)
                  .toString()
                  .contains(QStringLiteral("排名网址变了：http://s0/a → http://s0/b")));
  EXPECT_FALSE(
      model.index(0, 2).data(Qt::ToolTipRole).toString().contains(QStringLiteral("排名网址变了")));
}

TEST(ResultTableModel, WritersOnOtherThreadsNeverWaitForTheModelsThread) {
  RunResults results;
  ResultTableModel model(results);
  model.set_engines(builtin_engines(ProfileSet::classic));
  fill(results, 100);
  model.flush();
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  // This thread runs no event loop while the writers work: had a writer waited for it, the
  // joins would never return.
  std::vector<std::thread> writers;
  for (std::size_t engine = 0; engine < kEngines; ++engine) {
    writers.emplace_back([&results, engine] {
      for (int row = 0; row < 100; ++row) results.set_result(row, engine, ranked(1));
    });
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(changed.count(), 0);  // nothing reached the model's thread yet

  QCoreApplication::processEvents();
  QItemSelection covered;
  for (const QList<QVariant>& notice : changed) {
    covered.select(notice[0].toModelIndex(), notice[1].toModelIndex());
  }
  for (int row = 0; row < 100; ++row) {
    for (int column = 2; column < 6; ++column) {
      EXPECT_TRUE(covered.contains(model.index(row, column))) << row << "," << column;
    }
  }
}

TEST(ResultTableModel, StaysConsistentWhileWritersRaceRebuilds) {
  RunResults results;
  ResultTableModel model(results);
  model.set_engines(builtin_engines(ProfileSet::classic));
  Tester tester(&model, Tester::FailureReportingMode::Fatal);
  for (int round = 0; round < 20; ++round) {
    results.clear();
    fill(results, 50 - round);  // fewer rows each time, so stale notices point past the end
    std::vector<std::thread> writers;
    for (std::size_t engine = 0; engine < kEngines; ++engine) {
      writers.emplace_back([&results, engine] {
        for (int row = 0; row < results.row_count(); ++row)
          results.set_result(row, engine, ranked(9));
      });
    }
    QCoreApplication::processEvents();
    for (std::thread& writer : writers) writer.join();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(model.rowCount(), 31);
  EXPECT_EQ(model.index(30, 5).data().toString(), QStringLiteral("第9名"));
}

}  // namespace
}  // namespace quillrank
