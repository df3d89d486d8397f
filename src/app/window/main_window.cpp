#include "app/window/main_window.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>

#include "app/window/box_text.h"
#include "app/window/keyword_file_io.h"
#include "app/window/product_pages.h"
#include "keywords/keyword_list.h"

namespace quillrank {

MainWindow::MainWindow(Desktop& desktop, PageSource result_pages, PageSource home_pages,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      desktop_(desktop),
      model_(table_),
      run_control_(*this, table_, std::move(result_pages), std::move(home_pages)),
      controls_(build_window_controls(
          *this, model_,
          [this](const QUrl& address) { return open_with_desktop(desktop_, address); })),
      file_dialog_(*this, desktop) {
  setWindowTitle(QStringLiteral("Quillrank_V1.1"));
  setWindowIcon(QIcon(QStringLiteral(":/quillrank/quillrank.png")));
  setFixedSize(kClientSize);

  // Esc closes from anywhere in the window, the box and the list included.
  auto* close_key = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  close_key->setContext(Qt::WindowShortcut);
  connect(close_key, &QShortcut::activated, this, &QWidget::close);

  connect(controls_.start_button, &QPushButton::clicked, this, &MainWindow::start_query);
  connect(controls_.export_button, &QPushButton::clicked, this, &MainWindow::export_keyword_list);
  connect(controls_.import_button, &QPushButton::clicked, this, &MainWindow::import_keyword_list);
  // Presses land on the box's viewport; the filter looks and lets them through.
  controls_.box->viewport()->installEventFilter(this);
}

MainWindow::~MainWindow() { run_control_.release_worker_handles(); }

GbkText MainWindow::box_text() { return box_to_gbk(controls_.box->toPlainText()); }

void MainWindow::set_box_text(std::string_view text) {
  controls_.box->setPlainText(gbk_to_box(text));
}

bool MainWindow::engine_ticked(int engine) {
  return engine >= 0 && engine < 4 && controls_.engines[engine]->isChecked();
}

void MainWindow::start_query() {
  run_control_.start_query();
  // The rebuilt rows reach the list before anything repaints.
  model_.flush();
}

void MainWindow::export_keyword_list() {
  const std::optional<QString> path = file_dialog_.choose_export_path();
  if (!path) return;
  QString error;
  if (!save_keyword_file(*path, box_text(), error)) {
    desktop_.warn(
        this, QStringLiteral("导出关键词"),
        QStringLiteral("关键词没有保存到文件“%1”：%2").arg(QDir::toNativeSeparators(*path), error));
  }
}

void MainWindow::import_keyword_list() {
  const std::optional<QString> path = file_dialog_.choose_import_path();
  if (!path) return;
  QString error;
  const std::optional<GbkText> text = load_keyword_file(*path, error);
  if (!text) {
    desktop_.warn(this, QStringLiteral("导入关键词"),
                  QStringLiteral("无法读取文件“%1”：%2。输入框中的关键词没有改变。")
                      .arg(QDir::toNativeSeparators(*path), error));
    return;
  }
  set_box_text(*text);
}

void MainWindow::clear_sample_text() {
  if (is_sample_text(box_text())) set_box_text("");
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controls_.box->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    clear_sample_text();
  }
  return QWidget::eventFilter(watched, event);  // the box still gets the press
}

}  // namespace quillrank
