#include "text/result_table.h"

#include <climits>

namespace quillrank {
namespace {

// The cell at (row, column) of `rows`, or nullptr when there is none.
template <typename Rows>
auto* cell_at(Rows& rows, int row, int column) {
  const bool exists = row >= 0 && static_cast<std::size_t>(row) < rows.size() && column >= 0 &&
                      column < kTableColumns;
  return exists ? &rows[row][column] : nullptr;
}

}  // namespace

void ResultTable::set_observer(Observer observer) {
  auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
  MutexLock lock(mutex_);
  observer_ = std::move(shared);
}

void ResultTable::notify(const TableChange& change) const {
  std::shared_ptr<const Observer> observer;
  {
    MutexLock lock(mutex_);
    observer = observer_;
  }
  if (observer) (*observer)(change);
}

void ResultTable::delete_all_rows() {
  {
    MutexLock lock(mutex_);
    rows_.clear();
  }
  notify({TableChange::Kind::rows_reset});
}

int ResultTable::insert_row(int index, std::string_view caption) {
  int position;
  {
    MutexLock lock(mutex_);
    if (rows_.size() >= static_cast<std::size_t>(INT_MAX)) return -1;
    const int count = static_cast<int>(rows_.size());
    position = index < 0 || index > count ? count : index;
    Row row;
    row[0].text = GbkText(caption);
    rows_.insert(rows_.begin() + position, std::move(row));
  }
  notify({TableChange::Kind::row_inserted, position});
  return position;
}

int ResultTable::row_count() const {
  MutexLock lock(mutex_);
  return static_cast<int>(rows_.size());
}

bool ResultTable::set_cell_text(int row, int column, std::string_view text,
                                std::string_view detail) {
  {
    MutexLock lock(mutex_);
    Cell* target = cell_at(rows_, row, column);
    if (!target) return false;
    target->text.assign(text);
    target->detail.assign(detail);
  }
  notify({TableChange::Kind::cell_changed, row, column});
  return true;
}

GbkText ResultTable::get_cell_text(int row, int column) const {
  MutexLock lock(mutex_);
  const Cell* found = cell_at(rows_, row, column);
  return found ? found->text : GbkText();
}

GbkText ResultTable::get_cell_detail(int row, int column) const {
  MutexLock lock(mutex_);
  const Cell* found = cell_at(rows_, row, column);
  return found ? found->detail : GbkText();
}

}  // namespace quillrank
