// quillrank: the desktop window. Starts in the program's own folder with Qt's own texts in the
// user's language, shows the main window as it was left (at first centred on the screen) and
// runs until it is closed.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/browser/browser_pages.h"
#include "app/window/desktop.h"
#include "app/window/main_window.h"
#include "app/window/startup.h"
#include "app/window/window_settings.h"
#include "app/window/window_state.h"
#include "engines/engine_client.h"
#include "net/cookie_jar.h"
#include "net/page_fetcher.h"
#include "projects/project_store.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  quillrank::enter_program_folder();
  quillrank::keep_no_settings();
  quillrank::install_qt_translations(QLocale());

  quillrank::QtDesktop desktop;
  // Renders the pages of engines that need a browser; outlives the window and its workers.
  quillrank::BrowserPages browser;
  std::unique_ptr<quillrank::MainWindow> window;
  try {
    window = std::make_unique<quillrank::MainWindow>(desktop, quillrank::PageFetcher::source(),
                                                     quillrank::PageFetcher::source());
  } catch (const std::exception&) {
    QMessageBox::critical(nullptr, QStringLiteral("Quillrank"),
                          QStringLiteral("运行时出错!\n\n错误信息：载入启动窗口失败\n"));
    return -1;
  }
  // Each engine's worker asks through a client of its own, as the profile says.
  window->session().set_worker_sources(
      quillrank::live_engine_sources(quillrank::default_cookie_folder(), browser.sources()));
  // A verification passed in the window's browser is kept in the same cookie files.
  window->set_cookie_folder(quillrank::default_cookie_folder());
  window->set_projects_folder(quillrank::default_projects_folder());
  const bool placed = window->keep_state_in(quillrank::default_window_state_path());
  window->show();
  if (!placed) quillrank::centre_on_screen(*window);
  quillrank::apply_settings_file(*window, desktop, quillrank::default_settings_path());
  // Closing the window ends the loop; destroying it stops any run's workers before exit.
  return app.exec();
}
