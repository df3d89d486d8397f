#include "app/window/result_table_model.h"

#include <QColor>
#include <QMetaObject>
#include <algorithm>
#include <limits>

#include "history/movement.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

QString from_gbk(std::string_view text) {
  const std::string utf8 = gbk_to_utf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The address that ranks now, when it is another than the one of the previous completed run
// (both ranked); empty otherwise. UTF-8, as the history keeps addresses.
std::string moved_address(const EngineCell& cell, const PastRanks& past) {
  if (cell.state != CellState::done || cell.result.rank == 0 || !past.previous ||
      past.previous_address.empty() || cell.result.address.empty()) {
    return {};
  }
  std::string now = gbk_to_utf8(cell.result.address);
  return now == past.previous_address ? std::string() : now;
}

// The history lines an engine cell's tooltip adds.
QString history_tooltip(const PastRanks& past, const EngineCell& cell) {
  auto when = [](std::int64_t ms) { return QString::fromStdString(format_time(ms)); };
  QString previous = QStringLiteral("上次排名：无记录");
  if (past.asked_before) {
    previous = past.previous ? QStringLiteral("上次排名：第%1名（%2）")
                                   .arg(*past.previous)
                                   .arg(when(past.previous_ms))
                             : QStringLiteral("上次排名：未排名（%1）").arg(when(past.previous_ms));
    // Which page of the site ranked then, to hold against this run's (the detail's) address.
    if (!past.previous_address.empty()) {
      previous +=
          QStringLiteral("\n上次排名的网址：") + QString::fromStdString(past.previous_address);
    }
  }
  const std::string moved = moved_address(cell, past);
  if (!moved.empty()) {
    previous +=
        QStringLiteral("\n排名网址变了：%1 → %2")
            .arg(QString::fromStdString(past.previous_address), QString::fromStdString(moved));
  }
  // The best rank counts this run's as well.
  const int rank = cell.state == CellState::done ? cell.result.rank : 0;
  QString best_text =
      past.best ? QStringLiteral("最好排名：第%1名（%2）").arg(*past.best).arg(when(past.best_ms))
                : QStringLiteral("最好排名：无");
  if (rank > 0 && (!past.best || rank < *past.best)) {
    best_text = QStringLiteral("最好排名：第%1名（本次）").arg(rank);
  }
  return previous + QStringLiteral("\n") + best_text;
}

}  // namespace

ResultTableModel::ResultTableModel(RunResults& results, QObject* parent)
    : QAbstractTableModel(parent), results_(results), rows_shown_(results.row_count()) {
  results_.set_observer([this](const ResultChange& change) { note(change); });
}

ResultTableModel::~ResultTableModel() { results_.set_observer({}); }

int ResultTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_shown_;
}

int ResultTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : engine_column(engines_.size());
}

EngineCell ResultTableModel::engine_cell(const QModelIndex& index) const {
  return results_.cell(index.row(), static_cast<std::size_t>(index.column() - kFirstEngineColumn));
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_shown_) return {};
  const bool engine = index.column() >= kFirstEngineColumn;
  switch (role) {
    case Qt::DisplayRole: {
      // Read live: a cell whose change is not flushed yet already shows its new text.
      if (engine) return from_gbk(cell_text(engine_cell(index)));
      const QueryRow row = results_.row(index.row());
      return index.column() == 0 ? from_gbk(site_cell_text(row)) : from_gbk(row.keyword);
    }
    case Qt::ToolTipRole: {
      if (!engine) return {};
      // What lies behind an engine cell's text: the page, the status, what the engine showed;
      // then what the history says of it.
      const EngineCell cell = engine_cell(index);
      QString tip = from_gbk(cell.result.detail);
      if (const PastRanks* past = past_ranks(index)) {
        const QString history = history_tooltip(*past, cell);
        tip = tip.isEmpty() ? history : tip + QStringLiteral("\n") + history;
      }
      if (tip.isEmpty()) return {};
      return tip;
    }
    case kMovementRole: {
      const PastRanks* past = past_ranks(index);
      if (!past) return {};
      const EngineCell cell = engine_cell(index);
      if (cell.state != CellState::done) return QString();
      return QString::fromStdString(movement_mark(result_movement(cell.result, past->previous)));
    }
    case kAddressMoveRole: {
      const PastRanks* past = past_ranks(index);
      if (!past || moved_address(engine_cell(index), *past).empty()) return QString();
      return QString::fromUtf8(kAddressMoveMark);
    }
    case Qt::ForegroundRole:
      return QColor(Qt::black);
    case Qt::BackgroundRole:
      return QColor(Qt::white);
    default:
      return {};
  }
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) {
    const std::string_view caption = column_caption(section, engines_);
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  }
  if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void ResultTableModel::set_engines(const Engines& engines) {
  if (engines.size() == engines_.size()) {
    engines_ = engines;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    return;
  }
  beginResetModel();
  engines_ = engines;
  past_.clear();  // by engine index, of the engines that were
  endResetModel();
}

void ResultTableModel::set_past_ranks(RowsPastRanks past) {
  past_ = std::move(past);
  if (rows_shown_ > 0) emit dataChanged(index(0, 0), index(rows_shown_ - 1, columnCount() - 1));
}

const PastRanks* ResultTableModel::past_ranks(const QModelIndex& index) const {
  const int engine = index.column() - kFirstEngineColumn;
  if (engine < 0 || index.row() >= static_cast<int>(past_.size())) return nullptr;
  const std::vector<PastRanks>& row = past_[static_cast<std::size_t>(index.row())];
  if (static_cast<std::size_t>(engine) >= row.size()) return nullptr;
  return &row[static_cast<std::size_t>(engine)];
}

Qt::ItemFlags ResultTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultTableModel::note(const ResultChange& change) {
  {
    MutexLock lock(pending_mutex_);
    switch (change.kind) {
      case ResultChange::Kind::rows_reset:
        pending_ = Pending{.rows_reset = true};
        break;
      case ResultChange::Kind::cell_changed:
      case ResultChange::Kind::engine_changed: {
        const int column = engine_column(change.engine);
        // An engine's change is its whole column; the flush clips it to the rows shown.
        const bool whole = change.kind == ResultChange::Kind::engine_changed;
        const int top = whole ? 0 : change.row;
        const int bottom = whole ? std::numeric_limits<int>::max() : change.row;
        if (pending_.top == -1) {
          pending_.top = top;
          pending_.bottom = bottom;
          pending_.left = pending_.right = column;
        } else {
          pending_.top = std::min(pending_.top, top);
          pending_.bottom = std::max(pending_.bottom, bottom);
          pending_.left = std::min(pending_.left, column);
          pending_.right = std::max(pending_.right, column);
        }
        break;
      }
    }
    if (flush_posted_) return;
    flush_posted_ = true;
  }
  // Posting is thread-safe and never waits for the receiver's thread.
  QMetaObject::invokeMethod(this, &ResultTableModel::flush, Qt::QueuedConnection);
}

void ResultTableModel::flush() {
  Pending pending;
  {
    MutexLock lock(pending_mutex_);
    pending = pending_;
    pending_ = Pending{};
    flush_posted_ = false;
  }
  // The row count is read after taking the pending changes, so a change that lands in between
  // is both seen here and flushed again later: the views converge on the results.
  const int rows = results_.row_count();
  if (pending.rows_reset || rows != rows_shown_) {
    beginResetModel();
    rows_shown_ = rows;
    past_.clear();  // they belonged to the rows that went
    endResetModel();
    return;  // a reset repaints every cell anyway
  }
  const int last_column = columnCount() - 1;
  if (pending.top != -1 && pending.top < rows_shown_ && pending.left <= last_column) {
    emit dataChanged(
        index(pending.top, pending.left),
        index(std::min(pending.bottom, rows_shown_ - 1), std::min(pending.right, last_column)));
  }
}

}  // namespace quillrank
