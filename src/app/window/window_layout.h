// The main window's controls: their kinds, object names, captions, places, sizes, fonts and
// colours, the result list's columns, and how the controls share a window grown past its first
// size. Behaviour is bound by MainWindow, not here.
#pragma once

#include <QSize>
#include <QString>
#include <vector>

#include "app/window/hyperlink_label.h"
#include "engines/engines.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolButton;
class QWebEngineView;
class QWidget;

namespace quillrank {

class ResultTableModel;

// The client area every control fits in: the window's first and smallest size while the engines
// fit one row of check boxes.
inline constexpr QSize kClientSize{813, 388};
// Each further row of engine check boxes makes the engine group and the window this much taller.
inline constexpr int kCheckBoxRowHeight = 24;
// The project row under the check boxes, the engine group's last.
inline constexpr int kProjectRowHeight = 26;

struct WindowControls {
  QGroupBox* input_group;  // 分组框1
  QPlainTextEdit* box;     // 数据, the keyword list
  QLabel* instructions;    // 标签1
  QPushButton* import_button;
  QPushButton* export_button;
  QGroupBox* engine_group;  // 分组框2
  std::vector<QCheckBox*> engines;  // by engine index: 选中百度, 选中GG, 选中搜狗, 选中搜搜, ...
  int engine_rows = 1;              // rows of check boxes in the engine group
  // Under the check boxes: the project whose list the box holds, and what can be done with it.
  QLabel* project_label;        // 项目标签
  QComboBox* project;           // 项目, "（无项目）" first, then the projects by name
  QToolButton* project_button;  // 项目菜单: 新建, 重命名, 删除, 生成报告
  HyperlinkLabel* credit;       // 联系作者
  QPushButton* start_button;    // 按钮1
  QFrame* web_frame;            // 外形框1, clips the web view's edges
  QWebEngineView* web_view;     // 超文本浏览框1
  QGroupBox* result_group;      // 分组框3
  QTableView* result_list;      // 超级列表框1
  QProgressBar* progress;       // 进度条: rows done of the run's rows
  // Over the web view's foot, shown while an engine waits for a person to pass its verification:
  // which engines wait, and the button that opens the first one's verification page.
  QFrame* verify_bar;          // 验证提示
  QLabel* verify_label;        // 等待验证的引擎
  QPushButton* verify_button;  // 去验证
};

// Creates every control as a child of `window` in its initial state: the box holds the sample
// text, each of `engines` has a check box ticked as the engine says, the list shows `model`, the
// web view loads the product page.
WindowControls build_window_controls(QWidget& window, ResultTableModel& model,
                                     HyperlinkLabel::Opener open_credit, const Engines& engines);

// Makes the engine group hold one check box per engine, in engine order and ticked as `ticks`
// says, in place of the ones it held: the first four in the layout's places (named 选中百度,
// 选中GG, 选中搜狗 and 选中搜搜 for Baidu, Google, Sogou and Soso), each further one named
// "选中" + its key, in rows below them as wide as their captions need. Captioned
// check_box_caption(); the Tab order follows them.
void set_engine_check_boxes(WindowControls& controls, const Engines& engines,
                            const EngineTicks& ticks);

// The window's first and smallest size: kClientSize, taller by each row of check boxes past the
// first.
QSize laid_out_size(const WindowControls& controls);

// Places the controls that move or grow in a client area of `size` (at least laid_out_size()):
// the box and the result list take the room, a third and two thirds of the extra width, and all
// of the extra height; the web view's frame widens with the list; the controls beside and below
// them keep their sizes and follow. Further rows of check boxes make the engine group taller and
// the result list with it.
void lay_out_controls(const WindowControls& controls, QSize size);

// The result columns' first widths: the site's and the keyword's, and one for every engine's.
void reset_column_widths(QTableView& list);

// The site column takes what the result list gains (or loses, down to the header's smallest
// section) in width, so the engine columns keep their places in sight.
void resize_site_column(QTableView& list, int change);

// Widens the site column to its longest shown address, as far as the list has room beside the
// other columns; never narrows it.
void fit_site_column(QTableView& list);

// An engine check box's caption: "<name>查询".
QString check_box_caption(const EngineProfile& profile);

}  // namespace quillrank
