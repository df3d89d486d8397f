#include "app/window/movement_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "app/window/result_table_model.h"

namespace quillrank {
namespace {

QColor mark_colour(const QString& mark) {
  if (mark.startsWith(QChar(0x2191))) return QColor(0x00, 0x80, 0x00);  // ↑
  if (mark.startsWith(QChar(0x2193))) return QColor(0xC0, 0x00, 0x00);  // ↓
  if (mark.startsWith(QChar(0x843D))) return QColor(0x80, 0x00, 0x80);  // 落
  return QColor(0x00, 0x50, 0xC0);                                      // 新
}

const QColor kAddressMoveColour(0xB0, 0x60, 0x00);  // ⇄

}  // namespace

void MovementDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QString mark = index.data(kMovementRole).toString();
  const QString address_mark = index.data(kAddressMoveRole).toString();
  if (mark.isEmpty() && address_mark.isEmpty()) return;
  painter->save();
  painter->setFont(option.font);
  QRect room = option.rect.adjusted(0, 0, -3, 0);
  if (!mark.isEmpty()) {
    painter->setPen(mark_colour(mark));
    painter->drawText(room, Qt::AlignRight | Qt::AlignVCenter, mark);
    room.setRight(room.right() - option.fontMetrics.horizontalAdvance(mark) - 2);
  }
  if (!address_mark.isEmpty()) {
    painter->setPen(kAddressMoveColour);
    painter->drawText(room, Qt::AlignRight | Qt::AlignVCenter, address_mark);
  }
  painter->restore();
}

QString MovementDelegate::tooltip(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  QStyleOptionViewItem shown = option;
  initStyleOption(&shown, index);
  const QStyle* style = shown.widget ? shown.widget->style() : QApplication::style();
  const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &shown, shown.widget);
  // The style pads the text inside its rectangle; a text that needs more than that is elided.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, shown.widget) + 1;
  const bool cut = shown.fontMetrics.horizontalAdvance(shown.text) > text.width() - 2 * margin;
  const QString model_tip = index.data(Qt::ToolTipRole).toString();
  if (!cut) return model_tip;
  return model_tip.isEmpty() ? shown.text : shown.text + QStringLiteral("\n") + model_tip;
}

bool MovementDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event->type() != QEvent::ToolTip || !index.isValid()) {
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  }
  const QString tip = tooltip(option, index);
  if (tip.isEmpty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(event->globalPos(), tip, view, option.rect);
  }
  return true;
}

}  // namespace quillrank
