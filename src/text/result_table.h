// ResultTable: the rows of the result list, one row per keyword-list pair and six text columns
// (0 site "http://"+site, 1 keyword, 2 Baidu, 3 Google, 4 Sogou, 5 Soso). Thread-safe: every
// operation is atomic under one mutex and never waits for a user interface; a view subscribes
// to change notifications and marshals them to its own thread itself.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "text/gbk_text.h"
#include "text/mutex.h"

namespace quillrank {

inline constexpr int kTableColumns = 6;

// What changed: every row (the row set was rebuilt or emptied), or one cell.
struct TableChange {
  enum class Kind { rows_reset, row_inserted, cell_changed } kind;
  int row = -1;
  int column = -1;
};

class ResultTable {
 public:
  // Called after the table's lock is released, on the thread that made the change. It must not
  // block on another thread that may be waiting for this table.
  using Observer = std::function<void(const TableChange&)>;

  void set_observer(Observer observer);

  void delete_all_rows();
  // Adds a row whose column 0 holds `caption` at `index`, or after the last row when `index` is
  // negative (an index past the end also appends). Returns the new row's index, -1 when full.
  int insert_row(int index, std::string_view caption);
  int row_count() const;
  // Sets a cell's text and its detail (what lies behind the text, shown on demand; empty for
  // none). False, and nothing changes, for a row or column that does not exist.
  bool set_cell_text(int row, int column, std::string_view text, std::string_view detail = {});
  // The whole text; empty for a row or column that does not exist.
  GbkText get_cell_text(int row, int column) const;
  GbkText get_cell_detail(int row, int column) const;

 private:
  struct Cell {
    GbkText text;
    GbkText detail;
  };
  using Row = std::array<Cell, kTableColumns>;
  void notify(const TableChange& change) const;

  mutable Mutex mutex_;
  std::vector<Row> rows_ GUARDED_BY(mutex_);
  std::shared_ptr<const Observer> observer_ GUARDED_BY(mutex_);
};

}  // namespace quillrank
