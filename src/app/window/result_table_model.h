// ResultTableModel: the Qt item model through which the result list shows the core ResultTable,
// fed by writers on any thread without any of them waiting for the model's thread.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <vector>

#include "engines/engines.h"
#include "history/history_store.h"
#include "text/mutex.h"
#include "text/result_table.h"

namespace quillrank {

// An engine cell's movement against the history, as the item delegate draws it beside the
// text: "↑3", "↓2", "新", "落", or nothing.
inline constexpr int kMovementRole = Qt::UserRole + 1;

// What the history says of each row's engines before the run now going, by row and slot.
using RowsPastRanks = std::vector<std::array<PastRanks, kEngineCount>>;

// Writers only mark what changed and post one flush; the flush, on the model's thread, is the
// only place where the row count the views see changes. Cells are read live from the table.
class ResultTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Becomes `table`'s observer. Every thread that writes to `table` must be done with it (the
  // run's workers joined) before the model is destroyed; the destructor unsubscribes.
  explicit ResultTableModel(ResultTable& table, QObject* parent = nullptr);
  ~ResultTableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Captions the engine columns with these profiles' names. Model thread only.
  void set_profiles(const EngineProfiles& profiles);

  // Brings the announced rows up to the table and tells the views what changed since the last
  // flush. Runs by itself from the event loop after a change; call it directly to be up to date
  // at once (the window does after rebuilding the table). Model thread only.
  void flush();

  // The rows' history for the movements and the tooltips; empty for none. Model thread only.
  void set_past_ranks(RowsPastRanks past);

 private:
  // Changes since the last flush: the row set was emptied, the first row inserted, and the
  // bounding box of the changed cells.
  struct Pending {
    bool rows_reset = false;
    int first_inserted = -1;                           // -1: no row inserted
    int top = -1, left = -1, bottom = -1, right = -1;  // top == -1: no cell changed
  };

  // Table observer, on the writer's thread: records the change and posts a flush if none is
  // pending. Never waits for the model's thread; the lock only guards a few integers.
  void note(const TableChange& change);

  // The history of an engine cell's row and engine; null for other cells and without history.
  const PastRanks* past_ranks(const QModelIndex& index) const;
  // The history lines an engine cell's tooltip adds.
  QString history_tooltip(const PastRanks& past, const std::optional<int>& rank) const;

  ResultTable& table_;
  int rows_shown_ = 0;  // the row count the views were told; model thread only
  EngineProfiles profiles_ =
      builtin_profiles(kDefaultProfileSet);  // for the captions; model thread only
  RowsPastRanks past_;                       // model thread only

  Mutex pending_mutex_;
  Pending pending_ GUARDED_BY(pending_mutex_);
  bool flush_posted_ GUARDED_BY(pending_mutex_) = false;
};

}  // namespace quillrank
