// MovementDelegate: draws the result list's cells as usual and, right-aligned beside an engine
// cell's text, its movement against the history (kMovementRole): ↑n in green, ↓n in red, 新 in
// blue, 落 in purple for a rank that fell out of the results; left of it, in orange, ⇄ when
// another address of the site ranks than in the previous run (kAddressMoveRole). The cell's
// text itself never changes. A cell too narrow for its text shows the whole text as its
// tooltip, above what the model's tooltip says.
#pragma once

#include <QStyledItemDelegate>

namespace quillrank {

class MovementDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;

  // The tooltip of the cell at `index` drawn with `option`: the whole text when it does not fit,
  // then the model's tooltip; empty for none.
  QString tooltip(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace quillrank
