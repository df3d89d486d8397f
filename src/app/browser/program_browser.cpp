// The off-screen browser of the command-line programs: a Qt application of their own, started
// on the main thread.
#include "app/program_browser.h"

#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>

#include "app/browser/browser_pages.h"

namespace quillrank {
namespace {

class OffscreenBrowser : public ProgramBrowser {
 public:
  OffscreenBrowser() : application_(argc_, argv_), pages_(&application_) {}

  BrowserSources sources() override { return pages_.sources(); }

  void serve(std::chrono::milliseconds wait) override {
    QEventLoop loop;
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    loop.exec();
  }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "quillrank-batch";
  static inline char* argv_[] = {name_, nullptr};
  QGuiApplication application_;
  BrowserPages pages_;
};

// Qt's and the browser engine's notes on how they started (no GPU, no runtime folder) say
// nothing to a user of a command-line program; its errors still go to standard error.
void quiet_messages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    fprintf(stderr, "quillrank-batch: browser: %s\n",
            qPrintable(qFormatLogMessage(type, context, message)));
  }
}

}  // namespace

std::unique_ptr<ProgramBrowser> start_program_browser() {
  qInstallMessageHandler(quiet_messages);
  // No display is needed: pages are rendered off-screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Chromium's sandbox cannot run as root.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return std::make_unique<OffscreenBrowser>();
}

}  // namespace quillrank
