// The main window's controls: their kinds, object names, captions, places, sizes, fonts and
// colours, and the result list's columns. Behaviour is bound by MainWindow, not here.
#pragma once

#include <QSize>
#include <QString>
#include <array>

#include "app/window/hyperlink_label.h"
#include "engines/engines.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QWebEngineView;
class QWidget;

namespace quillrank {

class ResultTableModel;

// The client area every control fits in.
inline constexpr QSize kClientSize{813, 362};

struct WindowControls {
  QGroupBox* input_group;  // 分组框1
  QPlainTextEdit* box;     // 数据, the keyword list
  QLabel* instructions;    // 标签1
  QPushButton* import_button;
  QPushButton* export_button;
  QGroupBox* engine_group;                       // 分组框2
  std::array<QCheckBox*, kEngineCount> engines;  // by slot: Baidu, Google, Sogou, Soso
  HyperlinkLabel* credit;                        // 联系作者
  QPushButton* start_button;                     // 按钮1
  QFrame* web_frame;                             // 外形框1, clips the web view's edges
  QWebEngineView* web_view;                      // 超文本浏览框1
  QGroupBox* result_group;                       // 分组框3
  QTableView* result_list;                       // 超级列表框1
};

// Creates every control as a child of `window` in its initial state: the box holds the sample
// text, Baidu and Google are ticked, the list shows `model`, the web view loads the product page.
WindowControls build_window_controls(QWidget& window, ResultTableModel& model,
                                     HyperlinkLabel::Opener open_credit);

// An engine check box's caption: "<name>查询".
QString check_box_caption(const EngineProfile& profile);

}  // namespace quillrank
