// HistoryDialog: one result row's rank history. A chart of the rank over time per engine (rank
// 1 at the top, whole-number labels, a logarithmic scale once a rank passes 30; a run that got
// no rank breaks the line, a run that did not ask the engine does not) and, under it, the table of
// runs, newest first, with each engine's cell. Any number of engines, each line in a colour of
// its own.
#pragma once

#include <QDialog>
#include <vector>

#include "engines/engines.h"
#include "history/history_store.h"

class QChart;
class QTableWidget;

namespace quillrank {

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  // `records`: the row's history, oldest run first (RankHistory::row_history). Engines are
  // named and ordered as `engines` has them; an engine the history names that `engines` does
  // not know follows them under its key.
  HistoryDialog(const QString& site, const QString& keyword,
                const std::vector<HistoryRecord>& records,
                const Engines& engines = builtin_engines(kDefaultProfileSet),
                QWidget* parent = nullptr);

  QChart* chart() const { return chart_; }
  QTableWidget* runs_table() const { return runs_; }

 private:
  QChart* chart_;
  QTableWidget* runs_;
};

}  // namespace quillrank
