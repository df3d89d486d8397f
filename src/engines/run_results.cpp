#include "engines/run_results.h"

#include <algorithm>

#include "engines/cell_texts.h"

namespace quillrank {
namespace {

const RunRows& no_rows() {
  static const RunRows none = std::make_shared<const std::vector<QueryRow>>();
  return none;
}

}  // namespace

std::string_view cell_text(const EngineCell& cell) {
  switch (cell.state) {
    case CellState::done:
      return cell.result.text;
    case CellState::querying:
      return kQueryingText;
    case CellState::waiting:
      return kWaitingText;
    case CellState::not_asked:
      break;
  }
  return kNotStartedText;
}

GbkText site_cell_text(const QueryRow& row) { return concat_text("http://", row.site); }

void RunResults::set_observer(Observer observer) {
  auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
  MutexLock lock(mutex_);
  observer_ = std::move(shared);
}

void RunResults::notify(const ResultChange& change) const {
  std::shared_ptr<const Observer> observer;
  {
    MutexLock lock(mutex_);
    observer = observer_;
  }
  if (observer) (*observer)(change);
}

void RunResults::reset(RunRows rows, const std::vector<CellState>& states) {
  if (!rows) rows = no_rows();
  std::vector<EngineCell> cells;
  cells.reserve(rows->size() * states.size());
  for (std::size_t row = 0; row < rows->size(); ++row) {
    for (const CellState state : states) cells.push_back({state, {}});
  }
  {
    MutexLock lock(mutex_);
    rows_ = std::move(rows);
    engines_ = states.size();
    cells_ = std::move(cells);
    waiting_.assign(states.size(), 0);
  }
  notify({ResultChange::Kind::rows_reset});
}

int RunResults::row_count() const {
  MutexLock lock(mutex_);
  return rows_ ? static_cast<int>(rows_->size()) : 0;
}

std::size_t RunResults::engine_count() const {
  MutexLock lock(mutex_);
  return engines_;
}

RunRows RunResults::rows() const {
  MutexLock lock(mutex_);
  return rows_ ? rows_ : no_rows();
}

QueryRow RunResults::row(int row) const {
  const RunRows rows = this->rows();
  if (row < 0 || static_cast<std::size_t>(row) >= rows->size()) return {};
  return (*rows)[static_cast<std::size_t>(row)];
}

EngineCell RunResults::cell(int row, std::size_t engine) const {
  MutexLock lock(mutex_);
  const std::size_t index = static_cast<std::size_t>(row) * engines_ + engine;
  if (row < 0 || engine >= engines_ || index >= cells_.size()) return {};
  EngineCell cell = cells_[index];
  if (cell.state == CellState::querying && waiting_[engine] > 0) cell.state = CellState::waiting;
  return cell;
}

void RunResults::set_waiting(std::size_t engine, bool waiting) {
  {
    MutexLock lock(mutex_);
    if (engine >= waiting_.size()) return;
    int& members = waiting_[engine];
    members = std::max(0, members + (waiting ? 1 : -1));
    // Only the first to wait and the last to go on change what the cells read.
    if (members != (waiting ? 1 : 0)) return;
  }
  notify({ResultChange::Kind::engine_changed, -1, engine});
}

bool RunResults::set_result(int row, std::size_t engine, RowResult result) {
  {
    MutexLock lock(mutex_);
    const std::size_t index = static_cast<std::size_t>(row) * engines_ + engine;
    if (row < 0 || engine >= engines_ || index >= cells_.size()) return false;
    cells_[index] = {CellState::done, std::move(result)};
  }
  notify({ResultChange::Kind::cell_changed, row, engine});
  return true;
}

}  // namespace quillrank
