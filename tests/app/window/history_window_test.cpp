// The rank history in the window, headless: movements beside the ranks and in the tooltips,
// the history dialog, the result list's menu (export, copy) and a database that fails.
#include <gtest/gtest.h>

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>
#include <set>

#include "app/window/history_dialog.h"
#include "app/window/movement_delegate.h"
#include "app/window/project_panel.h"
#include "history/rank_history.h"
#include "history/temp_history.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"
#include "support/test_postgres.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

CellRecord ranked(const std::string& keyword, const std::string& engine, std::optional<int> rank,
                  std::int64_t time_ms) {
  return {.site = "a.example",
          .keyword = keyword,
          .engine = engine,
          .text = rank ? "第" + std::to_string(*rank) + "名" : "排在300后",
          .rank = rank,
          .verdict = "result",
          .reason = "",
          .time_ms = time_ms,
          .address = rank ? "http://a.example/" + keyword : ""};
}

// A run with `cells` in the history at `location` (a file or a postgresql:// URL).
void add_run(const std::string& location, RunState state, const std::vector<CellRecord>& cells) {
  const std::unique_ptr<RankHistory> store = open_history_for_writing(location, 1000);
  store->transaction([&] {
    const std::int64_t id = store->add_run(cells.at(0).time_ms, "baidu,google", "window");
    for (const CellRecord& cell : cells) store->add_cell(id, cell);
    store->end_run(id, state, cells.at(0).time_ms);
  });
}

// Baidu ranks a.example 3rd for "seo" and 9th for "web"; Google 12th for both.
HttpReply engine_reply(const HttpRequest& request) {
  const bool seo = request.url().find("seo") != std::string::npos;
  if (request.url().starts_with("http://www.baidu.com/")) {
    return {.body = engine_result_page(kBaidu, "http://a.example/", seo ? 2 : 8)};
  }
  return {.body = engine_result_page(kGoogle, "http://a.example/", 11, 1, 30)};
}

class HistoryWindow : public ::testing::Test {
 protected:
  void SetUp() override { window_->show(); }

  void run_list(const char* list) {
    window_->set_box_text(list);
    QTest::mouseClick(window_->controls().start_button, Qt::LeftButton);
    ASSERT_TRUE(wait_until([&] {
      return !window_->session().engine_running(0) && !window_->session().engine_running(1);
    }));
    window_->model().flush();
  }
  QVariant data(int row, int column, int role) {
    return window_->model().data(window_->model().index(row, column), role);
  }
  QTableView* list() { return window_->controls().result_list; }
  QAction* action(QMenu& menu, const char* text) {
    for (QAction* action : menu.actions()) {
      if (action->text() == QString::fromUtf8(text)) return action;
    }
    return nullptr;
  }

  const std::string path_ = temp_history("window");
  FixtureServer server_{engine_reply};
  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_, server_.route());
};

TEST_F(HistoryWindow, MarksEachRankAgainstThePreviousCompletedRunAndRecordsTheRun) {
  add_run(path_, RunState::completed,
          {ranked("seo", "baidu", 5, 1000), ranked("seo", "google", 12, 1000),
           ranked("web", "baidu", std::nullopt, 1000)});
  add_run(path_, RunState::stopped, {ranked("seo", "baidu", 1, 2000)});  // not "previous"
  window_->set_history(path_);
  run_list("a.example|seo\r\na.example|web\r\na.example|new");

  const struct {
    int row, column;
    const char* mark;
  } cases[] = {
      {0, 2, "↑2"},  // 5 -> 3
      {0, 3, ""},    // 12 -> 12
      {1, 2, "新"},  // not ranked -> 9
      {2, 2, "新"},  // never asked -> 9
      {0, 0, ""},    // not an engine cell
      {0, 4, ""},    // Sogou was not asked
  };
  for (const auto& c : cases) {
    EXPECT_EQ(data(c.row, c.column, kMovementRole).toString(), QString::fromUtf8(c.mark))
        << c.row << "," << c.column;
  }
  // The previous run ranked http://a.example/seo; this one ranks http://a.example/.
  EXPECT_EQ(data(0, 2, kAddressMoveRole).toString(), QStringLiteral("⇄"));
  EXPECT_EQ(data(1, 2, kAddressMoveRole).toString(), QString()) << "not ranked before";
  EXPECT_EQ(shown_cell(*window_, 0, 2), QStringLiteral("第3名")) << "the text stays the rank";
  const QString tip = data(0, 2, Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.startsWith(QStringLiteral("第1页找到：http://a.example/\n上次排名：第5名（")))
      << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("最好排名：第1名（"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("\n上次排名的网址：http://a.example/seo\n")))
      << tip.toStdString();
  EXPECT_TRUE(
      tip.contains(QStringLiteral("\n排名网址变了：http://a.example/seo → http://a.example/\n")))
      << tip.toStdString();
  EXPECT_TRUE(data(2, 2, Qt::ToolTipRole).toString().contains(QStringLiteral("上次排名：无记录")));

  window_->history()->flush();
  const std::vector<RunRow> runs = HistoryStore::open_for_reading(path_, 1000).runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[2].source, "window");
  EXPECT_EQ(runs[2].engines, "baidu,google");
  EXPECT_EQ(runs[2].state, RunState::completed);
  EXPECT_EQ(runs[2].cells, 6);

  // The next run compares with the one just completed: nothing moved.
  run_list("a.example|seo");
  EXPECT_EQ(data(0, 2, kMovementRole).toString(), QString());
}

TEST(MovementDelegate, DrawsTheMarkInItsColourBesideTheText) {
  QStandardItemModel model(1, 1);
  MovementDelegate delegate;
  const struct {
    const char* mark;
    QColor colour;
    const char* address_mark = "";
  } cases[] = {{"↑2", QColor(0x00, 0x80, 0x00)},    {"↓15", QColor(0xC0, 0x00, 0x00)},
               {"新", QColor(0x00, 0x50, 0xC0)},    {"落", QColor(0x80, 0x00, 0x80)},
               {"", QColor(0xB0, 0x60, 0x00), "⇄"}, {"", QColor()}};
  for (const auto& c : cases) {
    model.setData(model.index(0, 0), QStringLiteral("第3名"));
    model.setData(model.index(0, 0), QString::fromUtf8(c.mark), kMovementRole);
    model.setData(model.index(0, 0), QString::fromUtf8(c.address_mark), kAddressMoveRole);
    QImage image(120, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.font = QApplication::font();
    delegate.paint(&painter, option, model.index(0, 0));
    painter.end();
    int coloured_left = 0, coloured_right = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        // Anti-aliased glyphs blend with white: a hue near the mark's, with some saturation.
        const int hue_apart = std::abs(pixel.hsvHue() - c.colour.hsvHue());
        const bool in_colour = c.colour.isValid() && pixel.hsvSaturation() > 60 &&
                               std::min(hue_apart, 360 - hue_apart) < 30;
        (x < 60 ? coloured_left : coloured_right) += in_colour;
      }
    }
    EXPECT_EQ(coloured_left, 0) << c.mark << ": the mark is right-aligned";
    EXPECT_EQ(coloured_right > 0, c.colour.isValid()) << c.mark;
  }
}

TEST(HistoryDialog, ChartsEachEngineWithGapsAndListsTheRunsNewestFirst) {
  std::vector<HistoryRecord> records;
  const std::optional<int> baidu[] = {7, 5, std::nullopt, 4, 2};
  for (int run = 0; run < 5; ++run) {
    const std::int64_t when = 1'700'000'000'000 + run * 86'400'000LL;
    records.push_back(
        {run + 1, when, RunState::completed, ranked("seo", "baidu", baidu[run], when)});
    if (run < 2) {
      records.push_back({run + 1, when, RunState::completed, ranked("seo", "google", 30, when)});
    }
  }
  records.back().run_state = RunState::stopped;
  HistoryDialog dialog(QStringLiteral("a.example"), QStringLiteral("seo"), records);

  std::vector<std::pair<QString, qsizetype>> lines;
  for (QAbstractSeries* series : dialog.chart()->series()) {
    auto* line = qobject_cast<QLineSeries*>(series);
    ASSERT_NE(line, nullptr);
    lines.emplace_back(line->name(), line->count());
  }
  const std::vector<std::pair<QString, qsizetype>> expected{
      {"Baidu", 2}, {"Baidu", 2}, {"Google", 2}};  // the unranked run splits Baidu's line
  EXPECT_EQ(lines, expected);
  auto* first = qobject_cast<QLineSeries*>(dialog.chart()->series().at(0));
  EXPECT_EQ(first->at(0).y(), 7);
  auto* ranks = qobject_cast<QValueAxis*>(dialog.chart()->axes(Qt::Vertical).at(0));
  EXPECT_TRUE(ranks->isReverse()) << "rank 1 at the top";
  EXPECT_EQ(ranks->min(), 1);
  EXPECT_EQ(ranks->max(), 30);

  QTableWidget* table = dialog.runs_table();
  ASSERT_EQ(table->rowCount(), 5);
  ASSERT_EQ(table->columnCount(), 4);
  EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("Baidu"));
  EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("已停止"));
  EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("第2名"));
  EXPECT_EQ(table->item(0, 3)->text(), QString()) << "Google not asked in the newest run";
  EXPECT_EQ(table->item(4, 3)->text(), QStringLiteral("第30名"));
}

// Google asked only every other run: its line runs on through the runs that did not ask it.
// Ranks 2 and 150 on one chart: a logarithmic axis whose labels are whole numbers.
TEST(HistoryDialog, JoinsRunsThatDidNotAskAnEngineAndKeepsTheTopTenApartFromRank150) {
  std::vector<HistoryRecord> records;
  for (int run = 0; run < 4; ++run) {
    const std::int64_t when = 1'700'000'000'000 + run * 86'400'000LL;
    records.push_back({run + 1, when, RunState::completed,
                       ranked("seo", "baidu", run == 3 ? 150 : 2 + run, when)});
    if (run % 2 == 0) {
      records.push_back({run + 1, when, RunState::completed, ranked("seo", "google", 4, when)});
    }
  }
  HistoryDialog dialog(QStringLiteral("a.example"), QStringLiteral("seo"), records);
  std::vector<std::pair<QString, qsizetype>> lines;
  for (QAbstractSeries* series : dialog.chart()->series()) {
    auto* line = qobject_cast<QLineSeries*>(series);
    lines.emplace_back(line->name(), line->count());
  }
  const std::vector<std::pair<QString, qsizetype>> expected{{"Baidu", 4}, {"Google", 2}};
  EXPECT_EQ(lines, expected);

  auto* ranks = qobject_cast<QLogValueAxis*>(dialog.chart()->axes(Qt::Vertical).at(0));
  ASSERT_NE(ranks, nullptr);
  EXPECT_TRUE(ranks->isReverse());
  EXPECT_EQ(ranks->min(), 1);
  EXPECT_EQ(ranks->max(), 150);
  EXPECT_EQ(QString::asprintf(ranks->labelFormat().toLatin1().constData(), 10.0),
            QStringLiteral("10"));

  // Small ranks keep a linear axis, stepped by whole ranks.
  HistoryDialog small(QStringLiteral("a.example"), QStringLiteral("seo"), {records[0], records[2]});
  auto* linear = qobject_cast<QValueAxis*>(small.chart()->axes(Qt::Vertical).at(0));
  ASSERT_NE(linear, nullptr);
  EXPECT_EQ(linear->tickType(), QValueAxis::TicksDynamic);
  EXPECT_EQ(linear->tickAnchor(), 1);
  EXPECT_EQ(linear->tickInterval(), 1);
  EXPECT_EQ(QString::asprintf(linear->labelFormat().toLatin1().constData(), 3.0),
            QStringLiteral("3"));
}

// Any number of engines: each line has a pen of its own, and an engine the window no longer
// has still shows, under its key.
TEST(HistoryDialog, DrawsEveryEngineOfAnyNumberInAPenOfItsOwn) {
  Engines engines;
  std::vector<HistoryRecord> records;
  for (int engine = 0; engine < 10; ++engine) {
    const std::string key = "e" + std::to_string(engine);
    engines.push_back({key, EngineProfile{.name = "引擎" + std::to_string(engine)}, {}, false});
    records.push_back({1, 1000, RunState::completed, ranked("seo", key, engine + 1, 1000)});
  }
  records.push_back({1, 1000, RunState::completed, ranked("seo", "gone", 3, 1000)});
  HistoryDialog dialog(QStringLiteral("a.example"), QStringLiteral("seo"), records, engines);
  const QList<QAbstractSeries*> series = dialog.chart()->series();
  ASSERT_EQ(series.size(), 11);
  std::set<std::pair<QRgb, int>> pens;
  for (QAbstractSeries* each : series) {
    const QPen pen = qobject_cast<QLineSeries*>(each)->pen();
    pens.emplace(pen.color().rgb(), static_cast<int>(pen.style()));
  }
  EXPECT_EQ(pens.size(), 11u);
  EXPECT_EQ(qobject_cast<QLineSeries*>(series.at(9))->name(), QStringLiteral("引擎9"));
  EXPECT_EQ(qobject_cast<QLineSeries*>(series.at(10))->name(), QStringLiteral("gone"));
  EXPECT_EQ(dialog.runs_table()->columnCount(), 2 + 11);
}

// A history shared in PostgreSQL, shown read-only (a machine that looks, not the one that
// ranks): the window marks the moves against it and records nothing in it.
TEST_F(HistoryWindow, ShowsASharedHistoryReadOnlyAndRecordsNothingThere) {
  QUILLRANK_NEED_POSTGRES(server);
  const std::string url = server->new_database();
  add_run(url, RunState::completed, {ranked("seo", "baidu", 5, 1000)});
  window_->set_history(url, /*read_only=*/true);
  EXPECT_EQ(window_->history(), nullptr) << "no writer for a history the window only shows";
  run_list("a.example|seo");
  EXPECT_EQ(data(0, 2, kMovementRole).toString(), QStringLiteral("↑2"));  // 5 -> 3
  EXPECT_TRUE(data(0, 2, Qt::ToolTipRole).toString().contains(QStringLiteral("上次排名：第5名")));
  const std::vector<RunRow> runs = open_history_for_reading(url, 1000)->runs();
  ASSERT_EQ(runs.size(), 1u) << "this run is not recorded";
  EXPECT_TRUE(desktop_.warnings.empty());
}

// The settings' on_run_end command hears of each run that ends, with its moves against the run
// before and its id in the history; a failing one is said in the title and changes nothing else.
TEST_F(HistoryWindow, TellsTheRunEndCommandOfEachRunAndSaysWhenItFails) {
  add_run(path_, RunState::completed,
          {ranked("seo", "baidu", 5, 1000), ranked("seo", "google", 12, 1000)});
  window_->set_history(path_);
  const std::string heard = path_ + ".run-end.json";
  window_->set_run_end_command("cat > '" + heard + ".part' && mv '" + heard + ".part' '" + heard +
                               "'");
  run_list("a.example|seo\r\na.example|web");
  ASSERT_TRUE(wait_until([&] { return QFileInfo::exists(QString::fromStdString(heard)); }));
  const std::vector<RunRow> runs = HistoryStore::open_for_reading(path_, 1000).runs();
  ASSERT_EQ(runs.size(), 2u);
  // baidu: seo 5 -> 3 (up), web new at 9; google: seo 12 -> 12, web new at 12.
  EXPECT_EQ(read_file(heard), "{\"run_id\":" + std::to_string(runs.back().id) +
                                  ",\"project\":\"\",\"completed\":true,"
                                  "\"engines\":[\"baidu\",\"google\"],\"rows\":2,\"ranked\":4,"
                                  "\"up\":1,\"down\":0,\"new\":2,\"lost\":0,\"blocked\":[]}\n");
  EXPECT_TRUE(window_->windowTitle().endsWith(QStringLiteral("查询完成")));

  window_->set_run_end_command("exit 3");
  run_list("a.example|seo");
  EXPECT_TRUE(wait_until([&] {
    return window_->windowTitle().endsWith(
        QStringLiteral("查询完成；运行结束命令（on_run_end）失败：it exited with status 3"));
  })) << window_->windowTitle().toStdString();
  EXPECT_TRUE(desktop_.warnings.empty());
}

// A run of a project is recorded as the project's; renamed in the window, its runs follow it;
// "生成报告…" writes the report of its runs (a page, or a workbook) and opens it.
TEST_F(HistoryWindow, RecordsAProjectsRunsRenamesThemAndWritesItsReport) {
  QTemporaryDir folder;
  window_->set_history(path_);
  window_->set_projects_folder(folder.filePath(QStringLiteral("projects")).toStdString());
  desktop_.names = {QStringLiteral("甲")};
  window_->projects().create();
  run_list("a.example|seo");
  window_->history()->flush();
  std::vector<RunRow> runs = HistoryStore::open_for_reading(path_, 1000).runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].project, "甲");

  desktop_.names = {QStringLiteral("客户 乙")};
  window_->projects().rename();
  EXPECT_EQ(HistoryStore::open_for_reading(path_, 1000).runs(std::string("客户 乙")).size(), 1u);
  EXPECT_TRUE(HistoryStore::open_for_reading(path_, 1000).runs(std::string("甲")).empty());

  QMenu* menu = window_->controls().project_button->menu();
  QAction* report = action(*menu, "生成报告…");
  ASSERT_NE(report, nullptr);
  const struct {
    const char* name;
    const char* starts;  // the file's first bytes
  } files[] = {{"report.html", "<!DOCTYPE html>"}, {"report.xlsx", "PK"}};
  for (const auto& file : files) {
    const QString path = folder.filePath(QString::fromLatin1(file.name));
    desktop_.answers = {path};
    report->trigger();
    ASSERT_TRUE(wait_until([&] { return !window_->writing_report(); })) << file.name;
    EXPECT_TRUE(read_file(path.toStdString()).starts_with(file.starts)) << file.name;
    ASSERT_FALSE(desktop_.opened.empty());
    EXPECT_EQ(desktop_.opened.back(), QUrl::fromLocalFile(path));
  }
  EXPECT_NE(read_file(folder.filePath(QStringLiteral("report.html")).toStdString()).find("客户 乙"),
            std::string::npos);
  EXPECT_EQ(desktop_.dialogs.back().object_name, QStringLiteral("生成报告对话框"));

  // A file that cannot be written is said, and nothing opens.
  const std::size_t opened = desktop_.opened.size();
  desktop_.answers = {folder.filePath(QStringLiteral("no/such/folder/report.html"))};
  window_->write_project_report();
  ASSERT_TRUE(wait_until([&] { return !window_->writing_report(); }));
  ASSERT_EQ(desktop_.warnings.size(), 1u);
  EXPECT_TRUE(desktop_.warnings[0].text.startsWith(QStringLiteral("报告没有写入文件")));
  EXPECT_EQ(desktop_.opened.size(), opened);
}

TEST_F(HistoryWindow, DoubleClickingARowOpensItsHistory) {
  add_run(path_, RunState::completed, {ranked("seo", "baidu", 5, 1000)});
  window_->set_history(path_);
  run_list("a.example|seo");
  const QRect cell = list()->visualRect(window_->model().index(0, 1));
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, cell.center());
  auto* dialog = window_->findChild<HistoryDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("历史排名 - a.example - seo"));
  EXPECT_EQ(dialog->runs_table()->rowCount(), 2);
  EXPECT_EQ(dialog->runs_table()->item(1, 2)->text(), QStringLiteral("第5名"));
  dialog->close();
}

TEST_F(HistoryWindow, TheMenuExportsCopiesAndOpensTheHistory) {
  window_->set_history(path_);
  {
    const std::unique_ptr<QMenu> empty = window_->result_menu();
    EXPECT_FALSE(action(*empty, "历史排名")->isEnabled());
    EXPECT_FALSE(action(*empty, "导出结果…")->isEnabled());
    EXPECT_FALSE(action(*empty, "复制")->isEnabled());
  }
  run_list("a.example|=seo\r\na.example|web");
  list()->selectAll();
  const std::unique_ptr<QMenu> menu = window_->result_menu();
  ASSERT_EQ(menu->actions().size(), 3);
  for (QAction* each : menu->actions())
    EXPECT_TRUE(each->isEnabled()) << each->text().toStdString();
  EXPECT_EQ(action(*menu, "复制")->shortcut(), QKeySequence(QKeySequence::Copy));

  const std::string csv = ::testing::TempDir() + "quillrank-results.csv";
  const std::string tsv = ::testing::TempDir() + "quillrank-results.tsv";
  desktop_.answers = {QString::fromStdString(csv), QString::fromStdString(tsv)};
  action(*menu, "导出结果…")->trigger();
  action(*menu, "导出结果…")->trigger();
  ASSERT_EQ(desktop_.dialogs.size(), 2u);
  EXPECT_EQ(desktop_.dialogs[0].object_name, QStringLiteral("导出结果对话框"));
  // In the user's documents first, then where the last file went.
  EXPECT_EQ(desktop_.dialogs[0].directory, QDir(documents_folder()).absolutePath());
  EXPECT_EQ(desktop_.dialogs[1].directory, QFileInfo(QString::fromStdString(csv)).absolutePath());
  // The run's date, and each engine's rank as a number beside its cell; formulas guarded in
  // both forms.
  const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
  auto dated = [&](const std::string& text) {
    return QString::fromStdString(text).replace(
        QRegularExpression(today + QStringLiteral(R"( \d\d:\d\d)")), QStringLiteral("DATE"));
  };
  EXPECT_TRUE(read_file(csv).starts_with("\xEF\xBB\xBF"));
  EXPECT_EQ(dated(read_file(csv).substr(3)),
            QStringLiteral("查询日期,网站域名,关键词,Baidu,Baidu排名,Google,Google排名,"
                           "Sogou,Sogou排名,Soso,Soso排名\r\n"
                           "DATE,http://a.example,'=seo,第3名,3,第12名,12,未启动,,未启动,\r\n"
                           "DATE,http://a.example,web,第9名,9,第12名,12,未启动,,未启动,\r\n"));
  EXPECT_EQ(
      dated(read_file(tsv)),
      QStringLiteral("查询日期\t网站域名\t关键词\tBaidu\tBaidu排名\tGoogle\tGoogle排名\t"
                     "Sogou\tSogou排名\tSoso\tSoso排名\n"
                     "DATE\thttp://a.example\t'=seo\t第3名\t3\t第12名\t12\t未启动\t\t未启动\t\n"
                     "DATE\thttp://a.example\tweb\t第9名\t9\t第12名\t12\t未启动\t\t未启动\t\n"));

  QApplication::clipboard()->clear();
  action(*menu, "复制")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QStringLiteral("http://a.example\t=seo\t第3名\t第12名\t未启动\t未启动\n"
                           "http://a.example\tweb\t第9名\t第12名\t未启动\t未启动\n"));
  list()->selectRow(1);
  list()->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QStringLiteral("http://a.example\tweb\t第9名\t第12名\t未启动\t未启动\n"));

  action(*window_->result_menu(), "历史排名")->trigger();
  auto* dialog = window_->findChild<HistoryDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("历史排名 - a.example - web"));
  dialog->close();
}

TEST_F(HistoryWindow, TheWindowAndABatchWriteOneDatabaseAtOnce) {
  window_->set_history(path_);
  std::string batch_list, window_list;
  for (int i = 0; i < 300; ++i) {
    batch_list += "a.example|b" + std::to_string(i) + "\n";
    window_list += "a.example|w" + std::to_string(i) + "\r\n";
  }
  ChildProgram batch(QUILLRANK_BATCH_PROGRAM, {"-e", "baidu,google", "--history", path_},
                     {{"http_proxy", server_.base_url()}}, batch_list);
  run_list(window_list.c_str());
  const ProgramRun batch_run = batch.wait();
  EXPECT_EQ(batch_run.exit_code, 0);
  EXPECT_EQ(batch_run.err, "");
  window_->history()->flush();
  EXPECT_TRUE(desktop_.warnings.empty());
  const std::vector<RunRow> runs = HistoryStore::open_for_reading(path_, 1000).runs();
  ASSERT_EQ(runs.size(), 2u);
  for (const RunRow& run : runs) {
    EXPECT_EQ(run.state, RunState::completed) << run.source;
    EXPECT_EQ(run.cells, 600) << run.source;
  }
}

TEST_F(HistoryWindow, ACorruptDatabaseIsToldOnceAndTheRunsGoOn) {
  write_file(path_, std::string(8192, '\x07'));
  window_->set_history(path_);
  run_list("a.example|seo");
  EXPECT_EQ(shown_cell(*window_, 0, 2), QStringLiteral("第3名"));
  ASSERT_TRUE(wait_until([&] { return desktop_.warnings.size() == 1; }));
  EXPECT_EQ(desktop_.warnings[0].title, QStringLiteral("历史排名"));
  EXPECT_TRUE(desktop_.warnings[0].text.contains(QString::fromStdString(path_)));
  run_list("a.example|web");
  EXPECT_EQ(shown_cell(*window_, 0, 2), QStringLiteral("第9名"));
  QTest::qWait(100);
  EXPECT_EQ(desktop_.warnings.size(), 1u);
  EXPECT_EQ(data(0, 2, kMovementRole).toString(), QString());
}

}  // namespace
}  // namespace quillrank::testing
