#include "text/result_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace quillrank {
namespace {

TEST(ResultTable, InsertAppendsAndAddressesRowsByIndex) {
  ResultTable table;
  table.delete_all_rows();
  EXPECT_EQ(table.row_count(), 0);
  EXPECT_EQ(table.insert_row(-1, "http://a"), 0);
  EXPECT_EQ(table.insert_row(-1, "http://b"), 1);
  EXPECT_EQ(table.insert_row(99, "http://c"), 2) << "an index past the end appends";
  EXPECT_EQ(table.insert_row(0, "http://first"), 0);
  EXPECT_EQ(table.row_count(), 4);
  EXPECT_EQ(table.get_cell_text(0, 0), "http://first");
  EXPECT_EQ(table.get_cell_text(1, 0), "http://a");
  EXPECT_EQ(table.get_cell_text(1, 1), "") << "other columns start empty";
  table.delete_all_rows();
  EXPECT_EQ(table.row_count(), 0);
}

TEST(ResultTable, MissingRowsAndColumnsReadEmptyAndIgnoreWrites) {
  ResultTable table;
  table.insert_row(-1, "http://a");
  for (auto [row, column] : {std::pair{1, 0}, {-1, 0}, {0, 6}, {0, -1}}) {
    EXPECT_FALSE(table.set_cell_text(row, column, "x"));
    EXPECT_EQ(table.get_cell_text(row, column), "");
  }
  EXPECT_TRUE(table.set_cell_text(0, 5, "x"));
  EXPECT_EQ(table.get_cell_text(0, 5), "x");
}

TEST(ResultTable, ReturnsWholeCellTextHoweverLong) {
  ResultTable table;
  table.insert_row(-1, "");
  for (std::size_t length : {511u, 512u, 5000u, 1u << 20}) {
    const std::string text(length, 'x');
    table.set_cell_text(0, 2, text);
    EXPECT_EQ(table.get_cell_text(0, 2), text) << length;
  }
}

TEST(ResultTable, NotifiesAfterEachChangeOutsideTheLock) {
  ResultTable table;
  std::vector<TableChange> seen;
  table.set_observer([&](const TableChange& change) {
    seen.push_back(change);
    table.row_count();  // the observer may use the table: the lock is already released
  });
  table.insert_row(-1, "a");
  table.set_cell_text(0, 3, "x");
  table.set_cell_text(7, 3, "x");  // no change, no notification
  table.delete_all_rows();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].kind, TableChange::Kind::row_inserted);
  EXPECT_EQ(seen[1].kind, TableChange::Kind::cell_changed);
  EXPECT_EQ(seen[1].row, 0);
  EXPECT_EQ(seen[1].column, 3);
  EXPECT_EQ(seen[2].kind, TableChange::Kind::rows_reset);
}

TEST(ResultTable, FourWritersAndAReaderKeepEveryLastWrite) {
  ResultTable table;
  constexpr int kRows = 200;
  for (int r = 0; r < kRows; ++r) table.insert_row(-1, "http://site");
  std::atomic<bool> writing{true};
  std::thread reader([&] {
    while (writing) EXPECT_EQ(table.row_count(), kRows);
  });
  std::vector<std::thread> writers;
  for (int column = 2; column < 6; ++column) {
    writers.emplace_back([&table, column] {
      for (int pass = 0; pass < 20; ++pass) {
        for (int r = 0; r < kRows; ++r) {
          table.set_cell_text(r, column, std::to_string(pass * 1000 + r + column));
        }
      }
    });
  }
  for (auto& w : writers) w.join();
  writing = false;
  reader.join();
  for (int r = 0; r < kRows; ++r) {
    for (int column = 2; column < 6; ++column) {
      EXPECT_EQ(table.get_cell_text(r, column), std::to_string(19000 + r + column));
    }
  }
}

}  // namespace
}  // namespace quillrank
