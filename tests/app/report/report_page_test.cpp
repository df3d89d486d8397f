// A project's HTML report of a year (365 daily runs of 1,000 keywords on two engines) opened in
// Chromium off-screen: it loads, its charts and trend lines are drawn with every run, and it
// fetches nothing but itself. The top of the page is saved as a PNG: to the file
// QUILLRANK_REPORT_SCREENSHOT names (scripts/screenshot.sh makes docs/report.png so), else
// report.png in the working folder. The program's own main: the view needs a QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <fstream>
#include <iostream>
#include <random>

#include "app/history/project_report.h"

namespace quillrank {
namespace {

constexpr int kRuns = 365, kKeywords = 1000;

// A year of daily runs: each keyword's rank wanders (sometimes out of the results), so the
// charts and trend lines have a shape; the same every time.
ProjectReport year_report() {
  ProjectReport report{.project = "示例项目", .period = "2025-03-01 .. 2026-02-28"};
  const std::int64_t start = *parse_report_date("2025-03-01");
  std::minstd_rand random(7);
  for (const char* engine : {"baidu", "google"}) {
    EngineVisibility visibility{.engine = engine, .runs = {}};
    for (int run = 0; run < kRuns; ++run) {
      visibility.runs.push_back({.run_id = run, .started_ms = start + run * 24LL * 3600 * 1000});
    }
    for (int keyword = 0; keyword < kKeywords; ++keyword) {
      KeywordTrend trend{.site = "shop.example",
                         .keyword = "关键词 " + std::to_string(keyword),
                         .engine = engine,
                         .rank = {},
                         .previous = {},
                         .move = {},
                         .ranks = {}};
      int rank = 1 + int(random() % 60);
      for (int run = 0; run < kRuns; ++run) {
        rank = std::clamp(rank + int(random() % 7) - 3, 1, 80);
        const std::optional<int> shown = rank <= 50 ? std::optional(rank) : std::nullopt;
        trend.ranks.push_back(shown);
        VisibilityPoint& point = visibility.runs[run];
        ++point.cells;
        point.top3 += shown && rank <= 3;
        point.top10 += shown && rank <= 10;
        point.top30 += shown && rank <= 30;
        point.ranked += shown.has_value();
        point.blocked += random() % 100 == 0;
      }
      trend.rank = trend.ranks.back();
      trend.previous = trend.ranks[kRuns - 2];
      trend.move = movement(trend.rank, trend.previous);
      report.keywords.push_back(std::move(trend));
    }
    report.engines.push_back(std::move(visibility));
  }
  return report;
}

// Lets the page itself through and records (and blocks) anything else it asks for.
class RecordingInterceptor : public QWebEngineUrlRequestInterceptor {
 public:
  explicit RecordingInterceptor(QUrl page) : page_(std::move(page)) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (info.requestUrl() == page_) return;
    others.push_back(info.requestUrl().toString());
    info.block(true);
  }
  QStringList others;

 private:
  QUrl page_;
};

QJsonObject run_script(QWebEnginePage& page, const QString& script) {
  std::optional<QVariant> answer;
  page.runJavaScript(script, [&answer](const QVariant& value) { answer = value; });
  if (!QTest::qWaitFor([&] { return answer.has_value(); }, 30000)) return {};
  return QJsonDocument::fromJson(answer->toString().toUtf8()).object();
}

// True when the image holds the charts' colours, i.e. the page has been painted.
bool painted(const QImage& image) {
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      if (image.pixelColor(x, y) == QColor(0x1f, 0x5f, 0xbf)) return true;
    }
  }
  return false;
}

TEST(ReportPage, AYearOfAThousandKeywordsOnTwoEnginesLoadsOfflineAndDrawsEveryRun) {
  const std::string html = project_report_html(year_report());
  const QString file = QDir::temp().filePath(
      QStringLiteral("quillrank-report-%1.html").arg(QCoreApplication::applicationPid()));
  std::ofstream(file.toStdString(), std::ios::binary) << html;
  const QUrl url = QUrl::fromLocalFile(file);

  RecordingInterceptor interceptor(url);
  QWebEngineProfile profile;  // off the record: no cache or cookies on disk
  profile.setUrlRequestInterceptor(&interceptor);
  QWebEngineView view;
  QWebEnginePage* page = new QWebEnginePage(&profile, &view);
  view.setPage(page);
  view.resize(1200, 900);
  view.show();
  std::optional<bool> loaded;
  QObject::connect(page, &QWebEnginePage::loadFinished, [&loaded](bool ok) { loaded = ok; });
  QElapsedTimer timer;
  timer.start();
  page->load(url);
  ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.has_value(); }, 120000)) << "not loaded";
  const qint64 load_ms = timer.elapsed();
  EXPECT_TRUE(*loaded);
  std::cout << "report of " << html.size() / 1024 << " KiB loaded in " << load_ms << " ms\n";
  RecordProperty("load_ms", int(load_ms));

  const QJsonObject drawn = run_script(*page, R"(JSON.stringify({
      charts: document.querySelectorAll('svg.chart').length,
      sparks: document.querySelectorAll('svg.spark').length,
      chartPoints: [...document.querySelectorAll('svg.chart polyline')]
          .map(line => line.points.numberOfItems),
      lineFill: getComputedStyle(document.querySelector('svg.chart polyline')).fill,
      sparkPoints: document.querySelector('svg.spark polyline').points.numberOfItems,
      rows: document.querySelectorAll('tr').length,
      chartWidth: document.querySelector('svg.chart').getBoundingClientRect().width,
      fetched: performance.getEntriesByType('resource').length}))");
  EXPECT_EQ(drawn["charts"].toInt(), 2);
  EXPECT_EQ(drawn["sparks"].toInt(), 2 * kKeywords);
  const QVariantList points = drawn["chartPoints"].toArray().toVariantList();
  EXPECT_EQ(points.size(), 8) << "four lines a chart";
  for (const QVariant& count : points) EXPECT_EQ(count.toInt(), kRuns);
  EXPECT_EQ(drawn["lineFill"].toString(), "none") << "a line, not the area under its chord";
  EXPECT_EQ(drawn["sparkPoints"].toInt(), kRuns);
  // Every keyword's and every run's row, besides the movers' and the headers.
  EXPECT_GE(drawn["rows"].toInt(), 2 * kKeywords + 2 * kRuns);
  EXPECT_EQ(drawn["chartWidth"].toInt(), 640);
  EXPECT_EQ(drawn["fetched"].toInt(), 0);
  EXPECT_TRUE(interceptor.others.isEmpty()) << interceptor.others.join(' ').toStdString();

  QImage shot;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        shot = view.grab().toImage();
        return painted(shot);
      },
      30000))
      << "nothing drawn";
  const QByteArray target = qgetenv("QUILLRANK_REPORT_SCREENSHOT");
  const QString png = target.isEmpty() ? QStringLiteral("report.png") : QString::fromUtf8(target);
  EXPECT_TRUE(shot.save(png)) << png.toStdString();
  QFile::remove(file);
}

}  // namespace
}  // namespace quillrank

int main(int argc, char** argv) {
  // Headless always; Chromium without its sandbox, which refuses to start as root.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
