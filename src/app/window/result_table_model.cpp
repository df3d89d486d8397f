#include "app/window/result_table_model.h"

#include <QColor>
#include <QMetaObject>
#include <algorithm>

#include "engines/engines.h"
#include "history/movement.h"
#include "text/text_codec.h"

namespace quillrank {
ResultTableModel::ResultTableModel(ResultTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), rows_shown_(table.row_count()) {
  table_.set_observer([this](const TableChange& change) { note(change); });
}

ResultTableModel::~ResultTableModel() { table_.set_observer({}); }

int ResultTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_shown_;
}

int ResultTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kTableColumns;
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_shown_) return {};
  switch (role) {
    case Qt::DisplayRole: {
      // Read live: a cell whose change is not flushed yet already shows its new text.
      const std::string utf8 = gbk_to_utf8(table_.get_cell_text(index.row(), index.column()));
      return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    case Qt::ToolTipRole: {
      // What lies behind an engine cell's text: the page, the status, what the engine showed;
      // then what the history says of it.
      const std::string utf8 = gbk_to_utf8(table_.get_cell_detail(index.row(), index.column()));
      QString tip = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
      if (const PastRanks* past = past_ranks(index)) {
        const QString history = history_tooltip(
            *past, rank_from_cell(table_.get_cell_text(index.row(), index.column())));
        tip = tip.isEmpty() ? history : tip + QStringLiteral("\n") + history;
      }
      if (tip.isEmpty()) return {};
      return tip;
    }
    case kMovementRole: {
      const PastRanks* past = past_ranks(index);
      if (!past) return {};
      return QString::fromStdString(movement_mark(
          cell_movement(table_.get_cell_text(index.row(), index.column()), past->previous)));
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
  if (orientation != Qt::Horizontal || section < 0 || section >= kTableColumns) return {};
  if (role == Qt::DisplayRole) {
    const std::string_view caption = column_caption(section, profiles_);
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  }
  if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void ResultTableModel::set_profiles(const EngineProfiles& profiles) {
  profiles_ = profiles;
  emit headerDataChanged(Qt::Horizontal, 0, kTableColumns - 1);
}

void ResultTableModel::set_past_ranks(RowsPastRanks past) {
  past_ = std::move(past);
  if (rows_shown_ > 0) emit dataChanged(index(0, 0), index(rows_shown_ - 1, kTableColumns - 1));
}

const PastRanks* ResultTableModel::past_ranks(const QModelIndex& index) const {
  if (index.row() >= static_cast<int>(past_.size())) return nullptr;
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    if (kEngines[engine].column == index.column()) return &past_[index.row()][engine];
  }
  return nullptr;
}

QString ResultTableModel::history_tooltip(const PastRanks& past,
                                          const std::optional<int>& rank) const {
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
  // The best rank counts this run's as well.
  QString best_text =
      past.best ? QStringLiteral("最好排名：第%1名（%2）").arg(*past.best).arg(when(past.best_ms))
                : QStringLiteral("最好排名：无");
  if (rank && (!past.best || *rank < *past.best)) {
    best_text = QStringLiteral("最好排名：第%1名（本次）").arg(*rank);
  }
  return previous + QStringLiteral("\n") + best_text;
}

Qt::ItemFlags ResultTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultTableModel::note(const TableChange& change) {
  {
    MutexLock lock(pending_mutex_);
    switch (change.kind) {
      case TableChange::Kind::rows_reset:
        pending_ = Pending{.rows_reset = true};
        break;
      case TableChange::Kind::row_inserted:
        if (pending_.first_inserted == -1 || change.row < pending_.first_inserted) {
          pending_.first_inserted = change.row;
        }
        break;
      case TableChange::Kind::cell_changed:
        if (pending_.top == -1) {
          pending_.top = pending_.bottom = change.row;
          pending_.left = pending_.right = change.column;
        } else {
          pending_.top = std::min(pending_.top, change.row);
          pending_.bottom = std::max(pending_.bottom, change.row);
          pending_.left = std::min(pending_.left, change.column);
          pending_.right = std::max(pending_.right, change.column);
        }
        break;
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
  // The table's count is read after taking the pending changes, so a change that lands in
  // between is both seen here and flushed again later: the views converge on the table.
  const int rows = table_.row_count();
  if (pending.rows_reset || rows < rows_shown_) {
    beginResetModel();
    rows_shown_ = rows;
    past_.clear();  // they belonged to the rows that went
    endResetModel();
    return;  // a reset repaints every cell anyway
  }
  if (rows > rows_shown_) {
    const int first_new = rows_shown_;
    beginInsertRows({}, first_new, rows - 1);
    rows_shown_ = rows;
    endInsertRows();
    // A row inserted among the shown ones moved those after it down by one.
    if (pending.first_inserted != -1 && pending.first_inserted < first_new) {
      emit dataChanged(index(pending.first_inserted, 0), index(first_new - 1, kTableColumns - 1));
    }
  }
  if (pending.top != -1 && pending.top < rows_shown_) {
    emit dataChanged(index(pending.top, pending.left),
                     index(std::min(pending.bottom, rows_shown_ - 1), pending.right));
  }
}

}  // namespace quillrank
