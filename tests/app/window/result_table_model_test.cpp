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

void fill(ResultTable& table, int rows) {
  for (int row = 0; row < rows; ++row) table.insert_row(-1, "http://s" + std::to_string(row));
}

TEST(ResultTableModel, AnnouncesRowsOnlyWhenItFlushes) {
  ResultTable table;
  ResultTableModel model(table);
  Tester tester(&model, Tester::FailureReportingMode::Fatal);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  fill(table, 3);
  EXPECT_EQ(model.rowCount(), 0);  // the views were told nothing yet
  model.flush();
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(inserted.count(), 1);  // three rows, one announcement
  QCoreApplication::processEvents();
  EXPECT_EQ(inserted.count(), 1);  // the flush the changes posted finds nothing left

  table.insert_row(1, "http://new");  // among the shown rows: those after it moved
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.flush();
  ASSERT_EQ(changed.count(), 1);
  EXPECT_LE(changed[0][0].toModelIndex().row(), 1);
  EXPECT_EQ(changed[0][1].toModelIndex().row(), 2);
  EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("http://new"));
}

TEST(ResultTableModel, WritersOnOtherThreadsNeverWaitForTheModelsThread) {
  ResultTable table;
  ResultTableModel model(table);
  fill(table, 100);
  model.flush();
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  // This thread runs no event loop while the writers work: had a writer waited for it, the
  // joins would never return.
  std::vector<std::thread> writers;
  for (int column = 2; column < 6; ++column) {
    writers.emplace_back([&table, column] {
      for (int row = 0; row < 100; ++row) table.set_cell_text(row, column, "x");
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
  ResultTable table;
  ResultTableModel model(table);
  Tester tester(&model, Tester::FailureReportingMode::Fatal);
  for (int round = 0; round < 20; ++round) {
    table.delete_all_rows();
    fill(table, 50 - round);  // fewer rows each time, so stale notices point past the end
    std::vector<std::thread> writers;
    for (int column = 2; column < 6; ++column) {
      writers.emplace_back([&table, column] {
        for (int row = 0; row < table.row_count(); ++row) table.set_cell_text(row, column, "y");
      });
    }
    QCoreApplication::processEvents();
    for (std::thread& writer : writers) writer.join();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(model.rowCount(), 31);
  EXPECT_EQ(model.index(30, 5).data().toString(), QStringLiteral("y"));
}

}  // namespace
}  // namespace quillrank
