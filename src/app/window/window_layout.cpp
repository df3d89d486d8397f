#include "app/window/window_layout.h"

#include <qdrawutil.h>

#include <QCheckBox>
#include <QChildEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QWebEngineView>
#include <algorithm>
#include <iterator>

#include "app/window/box_text.h"
#include "app/window/product_pages.h"
#include "app/window/result_table_model.h"
#include "keywords/keyword_list.h"

namespace quillrank {
namespace {

constexpr int kColumnWidths[] = {60, 70};
constexpr int kEngineColumnWidth = 70;

// A group box drawn as the layout has it: the frame's top line runs through the middle of the
// caption, which sits centred in the top edge. Qt's styles put the line below the caption, where
// the box's first control, placed 12 pixels down, covers it.
class EdgeCaptionGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    // An etched line, as a classic group box has (styles offset their own frame by the caption).
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(),
                   /*sunken=*/true);
    const int width = metrics.horizontalAdvance(title()) + 6;
    const QRect caption((this->width() - width) / 2, 0, width, metrics.height());
    painter.fillRect(caption, palette().window());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
  }
};

// SimSun, or the Song face Debian ships where it is missing.
QFont song_font(int pixels) {
  QFont font;
  font.setFamilies(
      {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN")});
  font.setPixelSize(pixels);
  font.setWeight(QFont::Normal);
  return font;
}

template <typename Control>
Control* place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromUtf8(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// For the controls lay_out_controls() places.
template <typename Control>
Control* named(Control* control, const char* name) {
  control->setObjectName(QString::fromUtf8(name));
  return control;
}

QGroupBox* group_box(QWidget* parent, const char* name, const char* caption) {
  auto* box = named(new EdgeCaptionGroupBox(QString::fromUtf8(caption), parent), name);
  box->setAlignment(Qt::AlignHCenter);
  return box;
}

QPushButton* push_button(QWidget* parent, const char* name, const char* caption) {
  auto* button = named(new QPushButton(QString::fromUtf8(caption), parent), name);
  // Enter presses no button: none is the default, and none becomes it on focus.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

QString check_box_caption(const EngineProfile& profile) {
  return QString::fromStdString(profile.name) + QStringLiteral("查询");
}

namespace {

// The first four engines' check boxes: their places in the engine group, and the names they
// have when they ask Baidu, Google, Sogou and Soso.
constexpr QRect kCheckBoxPlaces[] = {
    {8, 14, 80, 24}, {99, 14, 80, 24}, {195, 14, 77, 24}, {285, 14, 73, 24}};
constexpr std::pair<const char*, const char*> kCheckBoxNames[] = {
    {"baidu", "选中百度"}, {"google", "选中GG"}, {"sogou", "选中搜狗"}, {"soso", "选中搜搜"}};

QString check_box_name(const std::string& key) {
  for (const auto& [known, name] : kCheckBoxNames) {
    if (key == known) return QString::fromUtf8(name);
  }
  return QStringLiteral("选中") + QString::fromStdString(key);
}

// Black on white in SimSun 16 pixels high.
QPlainTextEdit* keyword_box(QWidget* parent) {
  auto* box = named(new QPlainTextEdit(parent), "数据");
  // A keyword list holds no tabs: Tab moves the focus on, as everywhere else in the window.
  box->setTabChangesFocus(true);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  box->setLineWidth(1);
  box->setFont(song_font(16));
  QPalette colours = box->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Text, Qt::black);
    colours.setColor(group, QPalette::Base, Qt::white);
  }
  // Without the focus the selection is painted in the inactive colours: make them the plain
  // text's, so the selection disappears until the box has the focus again.
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  box->setPalette(colours);
  box->setPlainText(gbk_to_box(sample_text()));
  return box;
}

QLabel* instruction_label(QWidget* parent) {
  const QString caption = QStringLiteral(
      "\n"
      "    可以手动输入，也可以导入数据。或者是第一次使用后导出，然后下次就可以直接导入使用了。"
      "\n\n输入格式：\n域名|关键词\n\n例：\nwww.baidu.com|百度一下");
  auto* label = named(new QLabel(caption, parent), "标签1");
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFrameStyle(QFrame::Box | QFrame::Plain);
  label->setLineWidth(1);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(colours);
  return label;
}

// Keeps the widgets QtWebEngine puts inside the web view out of the Tab chain; a click still
// gives them the focus. They come and go with the page, so each is caught as it is polished.
class TabPassesBy : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) {
        child->setFocusPolicy(Qt::ClickFocus);
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// The frame shows a 430 x 114 window onto the view: the view reaches one pixel past the frame's
// top and left edges and 19 past its right and bottom ones, so its border and scroll bars stay
// outside.
QWebEngineView* product_view(QFrame* frame) {
  auto* view = named(new QWebEngineView(frame), "超文本浏览框1");
  // A page to look at, not to work in: Tab passes it by.
  view->setFocusPolicy(Qt::ClickFocus);
  view->installEventFilter(new TabPassesBy(view));
  view->setUrl(QUrl(QString::fromLatin1(kProductPageAddress)));
  return view;
}

QTableView* result_list(QWidget* parent, ResultTableModel& model) {
  auto* list = named(new QTableView(parent), "超级列表框1");
  list->setModel(&model);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);  // rows to copy
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSortingEnabled(false);
  list->setShowGrid(true);
  list->setWordWrap(false);
  list->setCornerButtonEnabled(false);
  list->setTabKeyNavigation(false);
  list->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  list->setLineWidth(1);

  QHeaderView* header = list->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  reset_column_widths(*list);
  // A report view has no row headers; rows keep one height, so the view never measures them.
  QHeaderView* rows = list->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(list->fontMetrics().height() + 4);

  // Cells paint themselves white (the model says so); the area without rows stays silver.
  QPalette colours = list->palette();
  colours.setColor(QPalette::Base, QColor(192, 192, 192));
  colours.setColor(QPalette::Text, Qt::black);
  list->setPalette(colours);
  return list;
}

}  // namespace

WindowControls build_window_controls(QWidget& window, ResultTableModel& model,
                                     HyperlinkLabel::Opener open_credit, const Engines& engines) {
  load_window_resources();  // the web view's start page is one of them
  // The places and sizes were drawn for the Chinese desktop's interface font, SimSun at 12
  // pixels; in that face every caption fits its control.
  window.setFont(song_font(12));

  WindowControls c{};
  c.input_group = group_box(&window, "分组框1", "关键词输入/导入");
  c.box = keyword_box(c.input_group);
  c.instructions = instruction_label(c.input_group);
  c.import_button = push_button(c.input_group, "导入", "导入关键词");
  c.export_button = push_button(c.input_group, "导出", "导出关键词");

  c.engine_group = group_box(&window, "分组框2", "查询选择");
  c.project_label = named(new QLabel(QStringLiteral("项目："), c.engine_group), "项目标签");
  c.project = named(new QComboBox(c.engine_group), "项目");
  c.project->setToolTip(QStringLiteral("选择项目：输入框中是所选项目的关键词列表"));
  c.project_label->setBuddy(c.project);
  c.project_button = named(new QToolButton(c.engine_group), "项目菜单");
  c.project_button->setText(QStringLiteral("项目…"));
  c.project_button->setToolTip(QStringLiteral("新建、重命名、删除项目，生成项目报告"));
  c.project_button->setPopupMode(QToolButton::InstantPopup);

  c.credit = named(new HyperlinkLabel(QStringLiteral("程序制作：Quillworks"),
                                      QUrl(QString::fromLatin1(kMakerHomeAddress)),
                                      std::move(open_credit), &window),
                   "联系作者");
  c.start_button = push_button(&window, "按钮1", "开始查询--> > >");

  c.web_frame = named(new QFrame(&window), "外形框1");
  c.web_frame->setFrameStyle(QFrame::NoFrame);
  c.web_view = product_view(c.web_frame);

  c.result_group = group_box(&window, "分组框3", "查询结果");
  c.result_list = result_list(c.result_group, model);
  c.progress = named(new QProgressBar(c.result_group), "进度条");
  c.progress->setRange(0, 1);
  c.progress->setValue(0);
  c.progress->setFormat(QString());  // no text until a run starts
  c.progress->setAlignment(Qt::AlignCenter);

  c.verify_bar = named(new QFrame(c.web_frame), "验证提示");
  c.verify_bar->setFrameStyle(QFrame::Box | QFrame::Plain);
  c.verify_bar->setAutoFillBackground(true);
  QPalette notice = c.verify_bar->palette();
  notice.setColor(QPalette::Window, QColor(255, 255, 225));  // a tooltip's yellow
  notice.setColor(QPalette::WindowText, Qt::black);
  c.verify_bar->setPalette(notice);
  c.verify_label = named(new QLabel(c.verify_bar), "等待验证的引擎");
  c.verify_button = push_button(c.verify_bar, "去验证", "去验证…");
  c.verify_bar->hide();

  set_engine_check_boxes(c, engines, default_ticks(engines));
  return c;
}

void set_engine_check_boxes(WindowControls& c, const Engines& engines, const EngineTicks& ticks) {
  for (QCheckBox* box : c.engines) delete box;
  c.engines.clear();
  constexpr int kGroupRoom = 352;           // the group's inner width at the first size
  QPoint next(8, 14 + kCheckBoxRowHeight);  // where the first box past the four goes
  c.engine_rows = 1;
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    auto* box = new QCheckBox(check_box_caption(engines[engine].profile), c.engine_group);
    box->setObjectName(check_box_name(engines[engine].key));
    box->setChecked(engine < ticks.size() && ticks[engine]);
    if (engine < std::size(kCheckBoxPlaces)) {
      box->setGeometry(kCheckBoxPlaces[engine]);
    } else {
      const int width = std::min(box->sizeHint().width() + 4, kGroupRoom);
      if (next.x() > 8 && next.x() + width > kGroupRoom) {
        next = {8, next.y() + kCheckBoxRowHeight};
      }
      box->setGeometry(QRect(next, QSize(width, kCheckBoxRowHeight)));
      c.engine_rows = (next.y() - 14) / kCheckBoxRowHeight + 1;
      next.rx() += width + 8;
    }
    box->show();
    c.engines.push_back(box);
  }
  lay_out_controls(c, laid_out_size(c));
  // Tab follows the layout: down the left column, then the list.
  std::vector<QWidget*> order{c.box, c.import_button, c.export_button};
  order.insert(order.end(), c.engines.begin(), c.engines.end());
  order.insert(order.end(), {c.project, c.project_button, c.credit, c.start_button, c.result_list});
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

QSize laid_out_size(const WindowControls& c) {
  return kClientSize + QSize(0, (c.engine_rows - 1) * kCheckBoxRowHeight);
}

void lay_out_controls(const WindowControls& c, QSize size) {
  const int wider = std::max(0, size.width() - kClientSize.width());
  const int taller = std::max(0, size.height() - laid_out_size(c).height());
  // The engine group's further rows of check boxes, and the project row under them.
  const int rows = (c.engine_rows - 1) * kCheckBoxRowHeight + kProjectRowHeight;
  const int left = wider / 3;      // to the box
  const int right = wider - left;  // to the result list
  c.input_group->setGeometry(8, 8, 360 + left, 272 + taller);
  c.box->setGeometry(7, 12, 242 + left, 258 + taller);
  c.instructions->setGeometry(255 + left, 12, 98, 196);
  c.import_button->setGeometry(255 + left, 213 + taller, 98, 24);
  c.export_button->setGeometry(255 + left, 241 + taller, 98, 24);
  c.engine_group->setGeometry(8, 280 + taller, 360 + left, 46 + rows);
  const int project_row = 15 + c.engine_rows * kCheckBoxRowHeight;
  c.project_label->setGeometry(8, project_row, 40, 22);
  c.project->setGeometry(48, project_row, 210 + left, 22);
  c.project_button->setGeometry(264 + left, project_row, 88, 22);
  c.credit->setGeometry(7, 331 + taller + rows, 201, 24);
  c.start_button->setGeometry(208 + left, 331 + taller + rows, 160, 22);
  c.web_frame->setGeometry(374 + left, 15, 430 + right, 114);
  c.web_view->setGeometry(-1, -1, 450 + right, 134);
  c.result_group->setGeometry(374 + left, 131, 432 + right, 224 + taller + rows);
  c.result_list->setGeometry(0, 13, 430 + right, 193 + taller + rows);
  c.progress->setGeometry(0, 207 + taller + rows, 430 + right, 14);
  c.verify_bar->setGeometry(0, 84, 430 + right, 30);
  c.verify_label->setGeometry(6, 3, 330 + right, 24);
  c.verify_button->setGeometry(340 + right, 3, 84, 24);
}

void reset_column_widths(QTableView& list) {
  QHeaderView* header = list.horizontalHeader();
  for (int column = 0; column < header->count(); ++column) {
    header->resizeSection(column,
                          column < kFirstEngineColumn ? kColumnWidths[column] : kEngineColumnWidth);
  }
}

void resize_site_column(QTableView& list, int change) {
  QHeaderView* header = list.horizontalHeader();
  header->resizeSection(0, std::max(header->minimumSectionSize(), header->sectionSize(0) + change));
}

void fit_site_column(QTableView& list) {
  QHeaderView* header = list.horizontalHeader();
  int others = 0;
  for (int column = 1; column < header->count(); ++column) others += header->sectionSize(column);
  const int room = list.viewport()->width() - others;
  // QTableView hides the measure that QAbstractItemView offers to all.
  const int wanted = std::min(static_cast<QAbstractItemView&>(list).sizeHintForColumn(0), room);
  if (wanted > header->sectionSize(0)) header->resizeSection(0, wanted);
}

}  // namespace quillrank
