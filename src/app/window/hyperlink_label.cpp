#include "app/window/hyperlink_label.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace quillrank {

HyperlinkLabel::HyperlinkLabel(const QString& text, QUrl address, Opener open, QWidget* parent)
    : QLabel(text, parent), address_(std::move(address)), open_(std::move(open)) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignCenter);
  setAutoFillBackground(false);  // the window's face shows through
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  repaint_text();
}

QColor HyperlinkLabel::text_colour() const {
  if (hovered_) return QColor(255, 0, 0);
  if (visited_) return QColor(128, 0, 0);
  return QColor(0, 0, 255);
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  repaint_text();
  QLabel::enterEvent(event);
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
  hovered_ = false;
  repaint_text();
  QLabel::leaveEvent(event);
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    open_address();
  }
  QLabel::mouseReleaseEvent(event);
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    open_address();
    return;
  }
  QLabel::keyPressEvent(event);
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QStylePainter painter(this);
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  const int width = fontMetrics().horizontalAdvance(text()) + 4;
  focus.rect = QRect((this->width() - width) / 2, 2, width, height() - 4);
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

void HyperlinkLabel::open_address() {
  if (open_ && open_(address_)) {
    visited_ = true;
    repaint_text();
  }
}

void HyperlinkLabel::repaint_text() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, text_colour());
  setPalette(colours);
}

}  // namespace quillrank
