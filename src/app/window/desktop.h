// Desktop: what the window asks of the person at the screen and of the desktop (answering the
// file dialog, reading a warning, answering a yes-or-no question, giving a name, opening a web
// address). Tests put a scripted one in its place.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class QFileDialog;
class QWidget;

namespace quillrank {

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Shows `dialog`, set up by the caller, and waits for the answer: the chosen full path, or
  // nullopt when the person cancelled.
  virtual std::optional<QString> choose_file(QFileDialog& dialog) = 0;

  // A warning with an OK button, modal to `parent`; returns once it is dismissed.
  virtual void warn(QWidget* parent, const QString& title, const QString& text) = 0;

  // A question with Yes and No buttons (No the default, as Esc answers), modal to `parent`;
  // true when the person answered yes.
  virtual bool ask(QWidget* parent, const QString& title, const QString& text) = 0;

  // Asks for one line of text (a name), offering `text`, modal to `parent`: the answer, or
  // nullopt when the person cancelled.
  virtual std::optional<QString> ask_text(QWidget* parent, const QString& title,
                                          const QString& label, const QString& text) = 0;

  // Hands `address` to the desktop's default handler; false when that failed.
  virtual bool open_url(const QUrl& address) = 0;
};

// The real desktop: modal Qt dialogs and QDesktopServices.
class QtDesktop final : public Desktop {
 public:
  std::optional<QString> choose_file(QFileDialog& dialog) override;
  void warn(QWidget* parent, const QString& title, const QString& text) override;
  bool ask(QWidget* parent, const QString& title, const QString& text) override;
  std::optional<QString> ask_text(QWidget* parent, const QString& title, const QString& label,
                                  const QString& text) override;
  bool open_url(const QUrl& address) override;
};

}  // namespace quillrank
