// HyperlinkLabel: a one-line text link (the credit `联系作者`). Blue, red while the pointer is
// over it, dark red once it has been opened; a left click, or Space or Enter while it has the
// focus, hands its address to `open`. Tab reaches it, and a dotted frame shows the focus.
#pragma once

#include <QLabel>
#include <QUrl>
#include <functional>

namespace quillrank {

class HyperlinkLabel : public QLabel {
  Q_OBJECT

 public:
  // Opens an address; false when it could not be opened.
  using Opener = std::function<bool(const QUrl&)>;

  HyperlinkLabel(const QString& text, QUrl address, Opener open, QWidget* parent = nullptr);

  const QUrl& address() const { return address_; }
  bool visited() const { return visited_; }
  QColor text_colour() const;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void open_address();
  void repaint_text();

  QUrl address_;
  Opener open_;
  bool hovered_ = false;
  bool visited_ = false;  // set by the first click that opened the address
};

}  // namespace quillrank
