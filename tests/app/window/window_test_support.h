// Helpers for the window tests: a scripted Desktop that answers the file dialog, records
// warnings and opened addresses, and small waits on the event loop.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/window/desktop.h"
#include "app/window/main_window.h"

namespace quillrank::testing {

// The file dialog's settings at the moment it was shown.
struct SeenDialog {
  QString object_name;
  QFileDialog::AcceptMode mode;
  QFileDialog::FileMode file_mode;
  QString title;
  QString directory;
  QString offered;  // the file the dialog would return if confirmed as shown
  QStringList name_filters;
  QString default_suffix;
  bool confirms_overwrite;
};

struct SeenWarning {
  QString title;
  QString text;
};

class ScriptedDesktop : public Desktop {
 public:
  // Each dialog takes the next answer: a path to confirm; an empty one, or none left, cancels.
  QStringList answers;
  bool open_succeeds = true;
  bool ask_answer = true;  // what every yes-or-no question is answered
  QStringList names;       // each text question takes the next; none left cancels

  std::vector<SeenDialog> dialogs;
  std::vector<SeenWarning> warnings;
  std::vector<SeenWarning> questions;
  std::vector<QUrl> opened;

  std::optional<QString> choose_file(QFileDialog& dialog) override;
  void warn(QWidget* parent, const QString& title, const QString& text) override;
  bool ask(QWidget* parent, const QString& title, const QString& text) override;
  std::optional<QString> ask_text(QWidget* parent, const QString& title, const QString& label,
                                  const QString& text) override;
  bool open_url(const QUrl& address) override;
};

// A window on the real page sources; with a `route` ("127.0.0.1:PORT") every fetch connects
// there, so a fixture server plays the engines and the home pages.
std::unique_ptr<MainWindow> make_window(Desktop& desktop, const std::string& route = {});

// Runs the event loop until `done` holds or 20 s have passed; returns `done()`.
bool wait_until(const std::function<bool()>& done);

// The text the result list shows in a cell.
QString shown_cell(MainWindow& window, int row, int column);

// Holds fixture replies back until opened; opens by itself when destroyed, so a server that
// is torn down after it never waits on it.
class ReplyGate {
 public:
  ~ReplyGate() { open(); }
  void open();
  void wait();  // on a server thread: until opened
 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// Aborts the test program when it is still alive after `limit`: for steps that must not hang.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, const char* what);
  ~Watchdog();

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace quillrank::testing
