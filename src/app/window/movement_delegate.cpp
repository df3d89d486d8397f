#include "app/window/movement_delegate.h"

#include <QPainter>

#include "app/window/result_table_model.h"

namespace quillrank {
namespace {

QColor mark_colour(const QString& mark) {
  if (mark.startsWith(QChar(0x2191))) return QColor(0x00, 0x80, 0x00);  // ↑
  if (mark.startsWith(QChar(0x2193))) return QColor(0xC0, 0x00, 0x00);  // ↓
  return QColor(0x00, 0x50, 0xC0);                                      // 新
}

}  // namespace

void MovementDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QString mark = index.data(kMovementRole).toString();
  if (mark.isEmpty()) return;
  painter->save();
  painter->setPen(mark_colour(mark));
  painter->setFont(option.font);
  painter->drawText(option.rect.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, mark);
  painter->restore();
}

}  // namespace quillrank
