// MovementDelegate: draws the result list's cells as usual and, right-aligned beside an engine
// cell's text, its movement against the history (kMovementRole): ↑n in green, ↓n in red, 新 in
// blue. The cell's text itself never changes.
#pragma once

#include <QStyledItemDelegate>

namespace quillrank {

class MovementDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace quillrank
