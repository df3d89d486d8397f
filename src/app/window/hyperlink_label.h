// HyperlinkLabel: a one-line text link (the credit `联系作者`). Blue, red while the pointer is
// over it, dark red once it has been opened; a left click hands its address to `open`.
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

 private:
  void repaint_text();

  QUrl address_;
  Opener open_;
  bool hovered_ = false;
  bool visited_ = false;  // set by the first click that opened the address
};

}  // namespace quillrank
