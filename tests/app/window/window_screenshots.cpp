// Draws the README's two screenshots of the window, headless: as it opens, and, grown a little,
// after a run of a project against a fixture server that stands in for the engines. Usage:
// quillrank_window_screenshots OUTPUT_FOLDER
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>
#include <cstdio>

#include "app/window/startup.h"
#include "engines/builtin_profiles.h"
#include "history/history_store.h"
#include "history/history_writer.h"
#include "projects/project_store.h"
#include "support/engine_pages.h"
#include "support/offline_proxies.h"
#include "text/text_codec.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

// Ranks for the example list: the site's 0-based place on page 1 of each engine.
HttpReply example_engines(const HttpRequest& request) {
  struct Site {
    const char* keyword;  // as it appears, percent-encoded, in the query
    const char* address;
    int baidu, google;
  };
  const Site sites[] = {
      {"QQ", "http://www.qq.com/", 0, 2},
      {"%B0%D9%B6%C8", "http://www.baidu.com/", 1, 6},
      {"%B9%C8%B8%E8", "http://www.google.com/", 14, 3},
  };
  for (const Site& site : sites) {
    if (request.url().find(std::string("=") + site.keyword + "&") == std::string::npos) continue;
    if (request.url().find(kBaidu.host) != std::string::npos) {
      return {.body = engine_result_page(kBaidu, site.address, site.baidu, 1, 20)};
    }
    if (request.url().find(kGoogle.host) != std::string::npos) {
      return {.body = engine_result_page(kGoogle, site.address, site.google, 1, 20)};
    }
  }
  return {.body = engine_result_page(kBaidu, "http://elsewhere.example/", 0)};
}

// A history with yesterday's run of the example list, so the run draws its movements (and, for
// QQ on Baidu, another page of the site ranked then).
std::string yesterdays_history() {
  const std::string path = QDir::temp()
                               .filePath(QStringLiteral("quillrank-screenshot-%1.sqlite3")
                                             .arg(QCoreApplication::applicationPid()))
                               .toStdString();
  HistoryStore store = HistoryStore::open_for_writing(path, 1000);
  const std::int64_t yesterday = now_ms() - 24 * 3600 * 1000;
  const std::int64_t run = store.add_run(yesterday, "baidu,google", "window");
  const struct {
    const char* site;
    const char* keyword;
    const char* engine;
    std::optional<int> rank;
    const char* address = "";
  } cells[] = {
      {"www.qq.com", "QQ", "baidu", 3, "http://www.qq.com/news/"},
      {"www.qq.com", "QQ", "google", 3},
      {"www.baidu.com", "百度", "baidu", 1},
      {"www.baidu.com", "百度", "google", std::nullopt},
      {"www.google.com", "谷歌", "baidu", 20},
      {"www.google.com", "谷歌", "google", 4},
  };
  for (const auto& cell : cells) {
    store.add_cell(run, {.site = cell.site,
                         .keyword = cell.keyword,
                         .engine = cell.engine,
                         .text = cell.rank ? "第" + std::to_string(*cell.rank) + "名" : "排在300后",
                         .rank = cell.rank,
                         .verdict = "result",
                         .reason = "",
                         .time_ms = yesterday,
                         .address = cell.address});
  }
  store.end_run(run, RunState::completed, yesterday);
  return path;
}

bool save(QWidget& window, const QDir& folder, const char* name) {
  const QString path = folder.filePath(QString::fromLatin1(name));
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

int draw(const QDir& folder) {
  ScriptedDesktop desktop;
  FixtureServer engines(example_engines);
  std::unique_ptr<MainWindow> window = make_window(desktop, engines.route());
  // The default engines, as the program shows them, but for the first four asking the classic
  // pages the fixture plays, unpaced.
  Engines shown = builtin_engines(kDefaultProfileSet);
  const Engines& classic = builtin_engines(ProfileSet::classic);
  for (std::size_t engine = 0; engine < classic.size(); ++engine) {
    shown[engine].profile = classic[engine].profile;
    shown[engine].pacing = classic[engine].pacing;
  }
  window->set_engines(shown);
  bool loaded = false;
  QObject::connect(window->controls().web_view, &QWebEngineView::loadFinished,
                   [&](bool) { loaded = true; });
  window->show();
  wait_until([&] { return loaded; });
  QTest::qWait(500);  // the page's first frame
  if (!save(*window, folder, "window-start.png")) return 1;

  const std::string history = yesterdays_history();
  window->set_history(history);
  // The example lines of the sample text, kept as a project a user picks.
  QTemporaryDir projects;
  ProjectStore(projects.path().toStdString())
      .save({.name = "客户A",
             .list = GbkText("www.qq.com|QQ\r\nwww.baidu.com|\xB0\xD9\xB6\xC8\r\n"
                             "www.google.com|\xB9\xC8\xB8\xE8"),
             .settings = {{"baidu", "google"}}});
  window->set_projects_folder(projects.path().toStdString());
  window->projects().choose("客户A");
  window->resize(960, 430);  // room for the host names
  QTest::mouseClick(window->controls().start_button, Qt::LeftButton);
  const bool finished = wait_until([&] { return !window->session().running(); });
  QTest::qWait(200);
  const bool saved = finished && save(*window, folder, "window-run.png");
  window.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((history + suffix).c_str());
  return saved ? 0 : 1;
}

}  // namespace
}  // namespace quillrank::testing

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  quillrank::testing::lead_proxies_nowhere();
  quillrank::prepare_qt_application();
  QApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists()) {
    std::fprintf(stderr, "no folder %s\n", argv[1]);
    return 2;
  }
  return quillrank::testing::draw(folder);
}
