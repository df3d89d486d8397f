// The window as it opens: each control's kind, container, place, size and caption, that every
// caption fits, the fonts and colours the user sees, and the initial state; and how the
// controls share a window grown past that first size.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <map>

#include "app/window/movement_delegate.h"
#include "keywords/keyword_list.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

// This process's children that are QtWebEngine's helper processes.
int web_engine_processes() {
  int count = 0;
  for (const QString& task :
       QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile children(QStringLiteral("/proc/self/task/%1/children").arg(task));
    if (!children.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& pid : children.readAll().split(' ')) {
      QFile command(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(pid.trimmed())));
      if (!pid.trimmed().isEmpty() && command.open(QIODevice::ReadOnly)) {
        count += command.readAll().contains("QtWebEngineProcess");
      }
    }
  }
  return count;
}

class WindowLayout : public ::testing::Test {
 protected:
  template <typename Control = QWidget>
  Control* control(const char* name) {
    return window_->findChild<Control*>(QString::fromUtf8(name));
  }

  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_);
};

TEST_F(WindowLayout, PlacesEveryControlAsLaidOut) {
  struct Placement {
    const char *name, *kind, *container, *caption;  // container "" is the window
    QRect relative;
    QPoint in_window;
  };
  const Placement placements[] = {
      {"分组框1", "QGroupBox", "", "关键词输入/导入", {8, 8, 360, 272}, {8, 8}},
      {"数据", "QPlainTextEdit", "分组框1", "", {7, 12, 242, 258}, {15, 20}},
      {"标签1", "QLabel", "分组框1", "", {255, 12, 98, 196}, {263, 20}},
      {"导入", "QPushButton", "分组框1", "导入关键词", {255, 213, 98, 24}, {263, 221}},
      {"导出", "QPushButton", "分组框1", "导出关键词", {255, 241, 98, 24}, {263, 249}},
      {"分组框2", "QGroupBox", "", "查询选择", {8, 280, 360, 72}, {8, 280}},
      {"选中百度", "QCheckBox", "分组框2", "Baidu查询", {8, 14, 80, 24}, {16, 294}},
      {"选中GG", "QCheckBox", "分组框2", "Google查询", {99, 14, 80, 24}, {107, 294}},
      {"选中搜狗", "QCheckBox", "分组框2", "Sogou查询", {195, 14, 77, 24}, {203, 294}},
      {"选中搜搜", "QCheckBox", "分组框2", "Soso查询", {285, 14, 73, 24}, {293, 294}},
      {"联系作者",
       "quillrank::HyperlinkLabel",
       "",
       "程序制作：Quillworks",
       {7, 357, 201, 24},
       {7, 357}},
      {"按钮1", "QPushButton", "", "开始查询--> > >", {208, 357, 160, 22}, {208, 357}},
      {"外形框1", "QFrame", "", "", {374, 15, 430, 114}, {374, 15}},
      {"超文本浏览框1", "QWebEngineView", "外形框1", "", {-1, -1, 450, 134}, {373, 14}},
      {"分组框3", "QGroupBox", "", "查询结果", {374, 131, 432, 250}, {374, 131}},
      {"超级列表框1", "QTableView", "分组框3", "", {0, 13, 430, 219}, {374, 144}},
      {"进度条", "QProgressBar", "分组框3", "", {0, 233, 430, 14}, {374, 364}},
      {"项目标签", "QLabel", "分组框2", "", {8, 39, 40, 22}, {16, 319}},
      {"项目", "QComboBox", "分组框2", "", {48, 39, 210, 22}, {56, 319}},
      {"项目菜单", "QToolButton", "分组框2", "项目…", {264, 39, 88, 22}, {272, 319}},
  };
  for (const Placement& p : placements) {
    SCOPED_TRACE(p.name);
    QWidget* widget = control(p.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), p.kind);
    EXPECT_EQ(widget->parentWidget(), *p.container ? control(p.container) : window_.get());
    EXPECT_EQ(widget->geometry(), p.relative);
    EXPECT_EQ(widget->mapTo(window_.get(), QPoint(0, 0)), p.in_window);
    QString shown;
    if (auto* box = qobject_cast<QGroupBox*>(widget)) shown = box->title();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) shown = button->text();
    if (auto* link = qobject_cast<HyperlinkLabel*>(widget)) shown = link->text();
    EXPECT_EQ(shown, QString::fromUtf8(p.caption));
  }
  EXPECT_NE(window_->findChild<QFileDialog*>(QStringLiteral("通用对话框1")), nullptr);
}

TEST_F(WindowLayout, OpensAtItsSmallestSizeWithEveryControlInside) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Quillrank_V1.1"));
  EXPECT_EQ(window_->size(), QSize(813, 388));
  EXPECT_EQ(window_->minimumSize(), QSize(813, 388));
  EXPECT_GT(window_->maximumWidth(), 4000);
  EXPECT_GT(window_->maximumHeight(), 4000);
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_EQ(window_->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
  for (QWidget* widget : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (widget->isWindow()) continue;  // the file dialog
    EXPECT_TRUE(window_->rect().contains(widget->geometry())) << widget->objectName().toStdString();
  }
}

// Grown by 300 x 200: the box takes a third of the width, the list two thirds, both all the
// height; the rest keep their sizes and follow; shrunk back, every control is where it was.
TEST_F(WindowLayout, GivesTheBoxAndTheListTheRoomOfAGrownWindow) {
  window_->show();
  auto* list = control<QTableView>("超级列表框1");
  const int site_width = list->horizontalHeader()->sectionSize(0);

  const struct {
    const char* name;
    QRect grown;
  } cases[] = {
      {"分组框1", {8, 8, 460, 472}},         {"数据", {7, 12, 342, 458}},
      {"标签1", {355, 12, 98, 196}},         {"导入", {355, 413, 98, 24}},
      {"导出", {355, 441, 98, 24}},          {"分组框2", {8, 480, 460, 72}},
      {"选中百度", {8, 14, 80, 24}},         {"联系作者", {7, 557, 201, 24}},
      {"按钮1", {308, 557, 160, 22}},        {"外形框1", {474, 15, 630, 114}},
      {"超文本浏览框1", {-1, -1, 650, 134}}, {"分组框3", {474, 131, 632, 450}},
      {"超级列表框1", {0, 13, 630, 419}},    {"进度条", {0, 433, 630, 14}},
      {"项目", {48, 39, 310, 22}},           {"项目菜单", {364, 39, 88, 22}},
  };
  std::map<const char*, QRect> first;
  for (const auto& c : cases) first[c.name] = control(c.name)->geometry();
  window_->resize(813 + 300, 388 + 200);
  for (const auto& c : cases) EXPECT_EQ(control(c.name)->geometry(), c.grown) << c.name;
  for (QWidget* widget : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (widget->isWindow()) continue;
    EXPECT_TRUE(window_->rect().contains(widget->geometry())) << widget->objectName().toStdString();
  }
  // The site column took the list's new width; the engine columns kept theirs.
  EXPECT_EQ(list->horizontalHeader()->sectionSize(0), site_width + 200);
  EXPECT_EQ(list->horizontalHeader()->sectionSize(2), 70);

  window_->resize(813, 388);
  for (const auto& [name, geometry] : first) EXPECT_EQ(control(name)->geometry(), geometry) << name;
  EXPECT_EQ(list->horizontalHeader()->sectionSize(0), site_width);
  // It cannot get smaller than the layout.
  window_->resize(600, 300);
  EXPECT_EQ(window_->size(), QSize(813, 388));
}

// A host name fits its column where the list has room; where it has not, the cut cell shows its
// whole text as its tooltip.
TEST_F(WindowLayout, FitsTheSiteColumnToItsHostsAndShowsACutCellWhole) {
  for (QCheckBox* engine : window_->controls().engines) engine->setChecked(false);
  window_->set_box_text("www.a-rather-long-host-name.example|seo");
  window_->show();
  auto* list = control<QTableView>("超级列表框1");
  auto* delegate = qobject_cast<MovementDelegate*>(list->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  // The tooltip of cell (0, column) as the list draws it now.
  auto tip = [&](int column) {
    const QModelIndex cell = window_->model().index(0, column);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualRect(cell);
    return delegate->tooltip(option, cell);
  };
  auto wanted = [&] { return static_cast<QAbstractItemView*>(list)->sizeHintForColumn(0); };
  QHeaderView* header = list->horizontalHeader();

  window_->start_query();
  EXPECT_LT(header->sectionSize(0), wanted()) << "no room at the first size";
  EXPECT_LE(header->sectionPosition(5) + header->sectionSize(5), list->viewport()->width())
      << "the engines stay in sight";
  EXPECT_EQ(tip(0), QStringLiteral("http://www.a-rather-long-host-name.example"));
  EXPECT_EQ(tip(1), QString()) << "a keyword that fits has no tooltip";

  window_->resize(1400, 600);
  window_->start_query();
  EXPECT_GE(header->sectionSize(0), wanted());
  EXPECT_EQ(tip(0), QString());
}

TEST_F(WindowLayout, FitsEveryCaptionInsideItsControl) {
  for (QCheckBox* box : window_->findChildren<QCheckBox*>()) {
    const int drawn = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                      box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                      box->fontMetrics().horizontalAdvance(box->text());
    EXPECT_LE(drawn, box->width()) << box->objectName().toStdString();
  }
  for (const char* name : {"导入", "导出", "按钮1"}) {
    auto* button = control<QPushButton>(name);
    EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 4);
  }
  auto* label = control<QLabel>("标签1");
  EXPECT_LE(label->heightForWidth(label->width()), label->height());
  EXPECT_LE(control<QLabel>("联系作者")->sizeHint().width(), control("联系作者")->width());
}

// The default engines add a row of check boxes under the four: the window opens a row taller,
// each box holds its caption and none covers another; back to four, it opens at the layout's size.
TEST_F(WindowLayout, GrowsARowForTheCheckBoxesPastTheFour) {
  window_->set_engines(builtin_engines(kDefaultProfileSet));
  EXPECT_EQ(window_->size(), QSize(813, 388 + 24));
  EXPECT_EQ(window_->minimumSize(), window_->size());
  const std::vector<QCheckBox*>& boxes = window_->controls().engines;
  ASSERT_EQ(boxes.size(), 7u);
  for (std::size_t engine = 4; engine < boxes.size(); ++engine) {
    const QCheckBox* box = boxes[engine];
    EXPECT_EQ(box->y(), 38) << engine;
    EXPECT_TRUE(window_->controls().engine_group->rect().contains(box->geometry())) << engine;
    EXPECT_LE(box->sizeHint().width(), box->width()) << engine;
    EXPECT_FALSE(box->geometry().intersects(boxes[engine - 1]->geometry())) << engine;
  }
  EXPECT_EQ(control("项目")->y(), 15 + 2 * 24) << "the project row stays under the boxes";
  EXPECT_EQ(boxes[4]->objectName(), QStringLiteral("选中baidu_mobile"));
  EXPECT_EQ(boxes[4]->text(), QStringLiteral("百度移动查询"));

  window_->set_engines(builtin_engines(ProfileSet::classic));
  EXPECT_EQ(window_->size(), QSize(813, 388));
  EXPECT_EQ(control("选中搜搜")->geometry(), QRect(285, 14, 73, 24));
}

// Each group box's top line runs through the middle of its caption, which is centred on the
// box and not covered by the box's first control.
TEST_F(WindowLayout, DrawsEachGroupCaptionCentredInTheVisibleTopEdge) {
  window_->show();
  const QImage image = window_->grab().toImage();
  const QColor background = window_->palette().color(QPalette::Window);
  for (const char* name : {"分组框1", "分组框2", "分组框3"}) {
    auto* box = control<QGroupBox>(name);
    const QRect where = box->geometry();
    // The top line, left of the caption, within the caption's height and above the first
    // control (12 pixels down).
    int line_row = -1;
    for (int y = where.top(); y < where.top() + 12 && line_row < 0; ++y) {
      int drawn = 0;
      for (int x = where.left() + 4; x < where.left() + 40; ++x) {
        drawn += image.pixelColor(x, y) != background;
      }
      if (drawn >= 30) line_row = y;
    }
    EXPECT_GE(line_row, where.top() + 2) << name;
    EXPECT_LE(line_row, where.top() + box->fontMetrics().height() - 2) << name;
    // Caption ink sits symmetrically about the box's centre.
    int left = where.right(), right = where.left();
    for (int y = where.top(); y < where.top() + box->fontMetrics().height(); ++y) {
      for (int x = where.left() + 40; x < where.right() - 40; ++x) {
        if (image.pixelColor(x, y).lightness() < 100) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
      }
    }
    EXPECT_LE(std::abs((left + right) / 2 - where.center().x()), 3) << name;
  }
}

TEST_F(WindowLayout, OpensWithTheSampleTextAndBaiduAndGoogleTicked) {
  EXPECT_EQ(window_->box_text(), sample_text());
  const bool ticked[] = {true, true, false, false};
  for (int engine = 0; engine < 4; ++engine) {
    EXPECT_EQ(window_->controls().engines[engine]->isChecked(), ticked[engine]) << engine;
    EXPECT_EQ(window_->ticks()[engine], ticked[engine]) << engine;
    EXPECT_FALSE(window_->session().engine_running(engine));
  }
  EXPECT_EQ(window_->results().row_count(), 0);
}

TEST_F(WindowLayout, ShowsSixColumnHeadersOnSilverWhileEmpty) {
  window_->show();
  auto* list = control<QTableView>("超级列表框1");
  EXPECT_EQ(list->model()->rowCount(), 0);
  EXPECT_TRUE(list->horizontalHeader()->isVisible());
  EXPECT_FALSE(list->verticalHeader()->isVisible());
  const char* captions[] = {"网站域名", "关键词", "Baidu", "Google", "Sogou", "Soso"};
  const int widths[] = {60, 70, 70, 70, 70, 70};
  ASSERT_EQ(list->model()->columnCount(), 6);
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(list->model()->headerData(column, Qt::Horizontal).toString(),
              QString::fromUtf8(captions[column]));
    EXPECT_EQ(list->horizontalHeader()->sectionSize(column), widths[column]);
  }
  EXPECT_EQ(list->palette().color(QPalette::Base), QColor(192, 192, 192));
}

TEST_F(WindowLayout, GivesTheBoxASixteenPixelSongFaceThatResolves) {
  const QFont font = control<QPlainTextEdit>("数据")->font();
  EXPECT_EQ(font.pixelSize(), 16);
  EXPECT_EQ(font.families().value(0), QStringLiteral("SimSun"));
  // Where SimSun is missing, the Song face Debian ships is the one drawn.
  EXPECT_EQ(QFontInfo(font).family(), QFontDatabase::hasFamily(QStringLiteral("SimSun"))
                                          ? QStringLiteral("SimSun")
                                          : QStringLiteral("AR PL UMing CN"));
}

TEST_F(WindowLayout, LoadsTheShippedProductPageInTheClippedWebView) {
  auto* view = control<QWebEngineView>("超文本浏览框1");
  bool loaded = false, ok = false;
  QObject::connect(view, &QWebEngineView::loadFinished, [&](bool success) {
    loaded = true;
    ok = success;
  });
  window_->show();
  ASSERT_TRUE(wait_until([&] { return loaded; }));
  EXPECT_TRUE(ok);
  EXPECT_EQ(view->title(), QStringLiteral("Quillrank"));
  // The program keeps no state: the page's cookies and cache live in memory only.
  EXPECT_TRUE(view->page()->profile()->isOffTheRecord());
  // Only the frame's 430 x 114 shows; the view's border and scroll bars lie outside it.
  EXPECT_EQ(view->geometry().intersected(view->parentWidget()->rect()), QRect(0, 0, 430, 114));
  // Rendered by Chromium's own processes: the single process would hold this page's profile
  // alone, and an engine's verification page needs the engine's profile beside it.
  EXPECT_GE(web_engine_processes(), 1);
}

}  // namespace
}  // namespace quillrank::testing
