// ResultTableModel: the Qt item model through which the result list shows a run's RunResults
// (the site, the keyword, one column per engine), fed by writers on any thread without any of
// them waiting for the model's thread.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "engines/engines.h"
#include "engines/run_results.h"
#include "history/history_store.h"
#include "text/mutex.h"

namespace quillrank {

// An engine cell's movement against the history, as the item delegate draws it beside the
// text: "↑3", "↓2", "新", "落", or nothing.
inline constexpr int kMovementRole = Qt::UserRole + 1;
// "⇄" when the cell ranks, the previous completed run ranked too, and the address that ranks is
// another than then; else nothing.
inline constexpr int kAddressMoveRole = Qt::UserRole + 2;
inline constexpr char kAddressMoveMark[] = "⇄";

// What the history says of each row's engines before the run now going, by row and engine
// index.
using RowsPastRanks = std::vector<std::vector<PastRanks>>;

// Writers only mark what changed and post one flush; the flush, on the model's thread, is the
// only place where the row count the views see changes. Cells are read live from the results.
class ResultTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Becomes `results`' observer. Every thread that writes to `results` must be done with it
  // (the run's workers joined) before the model is destroyed; the destructor unsubscribes.
  explicit ResultTableModel(RunResults& results, QObject* parent = nullptr);
  ~ResultTableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // One column per engine, captioned with its profile's name. Model thread only.
  void set_engines(const Engines& engines);
  const Engines& engines() const { return engines_; }

  // Brings the shown rows up to the results and tells the views what changed since the last
  // flush. Runs by itself from the event loop after a change; call it directly to be up to date
  // at once (the window does after starting a run). Model thread only.
  void flush();

  // The rows' history for the movements and the tooltips; empty for none. Model thread only.
  void set_past_ranks(RowsPastRanks past);
  // The history of an engine cell's row and engine; null for other cells and without history.
  // Model thread only.
  const PastRanks* past_ranks(const QModelIndex& index) const;

 private:
  // Changes since the last flush: the rows were replaced, and the bounding box of the changed
  // cells (by column).
  struct Pending {
    bool rows_reset = false;
    int top = -1, left = -1, bottom = -1, right = -1;  // top == -1: no cell changed
  };

  // Results observer, on the writer's thread: records the change and posts a flush if none is
  // pending. Never waits for the model's thread; the lock only guards a few integers.
  void note(const ResultChange& change);

  EngineCell engine_cell(const QModelIndex& index) const;

  RunResults& results_;
  int rows_shown_ = 0;  // the row count the views were told; model thread only
  Engines engines_ = builtin_engines(kDefaultProfileSet);  // the columns; model thread only
  RowsPastRanks past_;                                     // model thread only

  Mutex pending_mutex_;
  Pending pending_ GUARDED_BY(pending_mutex_);
  bool flush_posted_ GUARDED_BY(pending_mutex_) = false;
};

}  // namespace quillrank
