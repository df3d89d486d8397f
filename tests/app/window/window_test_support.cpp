#include "window_test_support.h"

#include <stdlib.h>

#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "net/page_fetcher.h"
#include "support/fixture_server.h"

namespace quillrank::testing {

std::optional<QString> ScriptedDesktop::choose_file(QFileDialog& dialog) {
  const QStringList selected = dialog.selectedFiles();
  dialogs.push_back(SeenDialog{
      .object_name = dialog.objectName(),
      .mode = dialog.acceptMode(),
      .file_mode = dialog.fileMode(),
      .title = dialog.windowTitle(),
      .directory = dialog.directory().absolutePath(),
      .offered = selected.isEmpty() ? QString() : selected.front(),
      .name_filters = dialog.nameFilters(),
      .default_suffix = dialog.defaultSuffix(),
      .confirms_overwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite),
  });
  const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
  if (answer.isEmpty()) return std::nullopt;
  return answer;
}

void ScriptedDesktop::warn(QWidget*, const QString& title, const QString& text) {
  warnings.push_back({title, text});
}

bool ScriptedDesktop::ask(QWidget*, const QString& title, const QString& text) {
  questions.push_back({title, text});
  return ask_answer;
}

std::optional<QString> ScriptedDesktop::ask_text(QWidget*, const QString& title,
                                                 const QString& label, const QString&) {
  questions.push_back({title, label});
  if (names.isEmpty()) return std::nullopt;
  return names.takeFirst();
}

bool ScriptedDesktop::open_url(const QUrl& address) {
  opened.push_back(address);
  return open_succeeds;
}

std::unique_ptr<MainWindow> make_window(Desktop& desktop, const std::string& route) {
  auto window =
      std::make_unique<MainWindow>(desktop, PageFetcher::source(route), PageFetcher::source(route));
  // The fixture servers play the classic engines' pages.
  window->set_engines(builtin_engines(ProfileSet::classic));
  return window;
}

bool wait_until(const std::function<bool()>& done) { return QTest::qWaitFor(done, 20000); }

QString shown_cell(MainWindow& window, int row, int column) {
  return window.model().index(row, column).data().toString();
}

void ReplyGate::open() {
  std::lock_guard lock(mutex_);
  open_ = true;
  opened_.notify_all();
}

void ReplyGate::wait() {
  std::unique_lock lock(mutex_);
  opened_.wait(lock, [this] { return open_; });
}

Watchdog::Watchdog(std::chrono::seconds limit, const char* what)
    : thread_([this, limit, what] {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
          std::fprintf(stderr, "watchdog: %s did not finish\n", what);
          std::abort();
        }
      }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

}  // namespace quillrank::testing
