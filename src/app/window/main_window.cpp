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
#include "net/site_expansion.h"

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
  show_status({});
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

  ranking_progress_.setInterval(200);
  connect(&ranking_progress_, &QTimer::timeout, this, &MainWindow::show_ranking_progress);
}

MainWindow::~MainWindow() {
  // The fetch in flight watches the stop token and ends within milliseconds; the result it
  // posts dies with this object.
  expansion_.request_stop();
  if (expansion_.joinable()) expansion_.join();
  run_control_.release_worker_handles();
}

GbkText MainWindow::box_text() { return box_to_gbk(controls_.box->toPlainText()); }

void MainWindow::set_box_text(std::string_view text) {
  controls_.box->setPlainText(gbk_to_box(text));
}

bool MainWindow::engine_ticked(int engine) {
  return engine >= 0 && engine < static_cast<int>(kEngineCount) &&
         controls_.engines[engine]->isChecked();
}

void MainWindow::start_query() {
  if (expanding_) {
    expansion_.request_stop();
    return;
  }
  ranking_progress_.stop();
  run_control_.clear_for_run();
  model_.flush();
  const GbkText box = box_text();
  if (collect_segments(box, '[', ']').empty()) {
    start_ranking(box);
    return;
  }
  set_expanding(true);
  expansion_ = std::jthread([this, box](std::stop_token stop) {
    ExpansionReport report;
    GbkText expanded = run_control_.expand_entries(
        box, stop,
        [this](int entry, int entries) {
          QMetaObject::invokeMethod(
              this,
              [this, entry, entries] {
                show_status(
                    QStringLiteral("正在展开站点条目：第 %1 个，共 %2 个").arg(entry).arg(entries));
              },
              Qt::QueuedConnection);
        },
        &report);
    QMetaObject::invokeMethod(
        this,
        [this, box, expanded = std::move(expanded), report = std::move(report)] {
          finish_expansion(box, expanded, report);
        },
        Qt::QueuedConnection);
  });
}

void MainWindow::finish_expansion(const GbkText& box, const GbkText& expanded,
                                  const ExpansionReport& report) {
  const bool stopped = expansion_.get_stop_token().stop_requested();
  expansion_.join();
  set_expanding(false);
  if (stopped) {
    show_status(QStringLiteral("站点条目展开已停止"));
    return;
  }
  if (report.too_large) {
    show_status({});
    desktop_.warn(this, QStringLiteral("站点条目"),
                  QStringLiteral("站点条目展开后的内容超过 %1 MiB（展开的关键词中又含有站点条目），"
                                 "已停止展开，未开始查询。")
                      .arg(kMaxExpandedBytes >> 20));
    return;
  }
  if (expanded != box) set_box_text(expanded);
  start_ranking(expanded);
  if (!report.cut_entries.empty()) {
    QString entries;
    for (const GbkText& entry : report.cut_entries) {
      entries += QStringLiteral("\n") + gbk_to_box(entry);
    }
    desktop_.warn(
        this, QStringLiteral("站点条目"),
        QStringLiteral("以下站点首页的标题和关键词过长，只取了前 %1 个词：").arg(kMaxSiteWords) +
            entries);
  }
}

void MainWindow::start_ranking(const GbkText& list) {
  run_control_.start_ranking(list);
  // The rebuilt rows reach the list before anything repaints.
  model_.flush();
  show_ranking_progress();
  ranking_progress_.start();
}

void MainWindow::set_expanding(bool expanding) {
  expanding_ = expanding;
  // The expansion rewrites the box when it is done: nothing may change it meanwhile.
  controls_.box->setReadOnly(expanding);
  controls_.import_button->setEnabled(!expanding);
  if (expanding) show_status(QStringLiteral("正在展开站点条目"));
}

void MainWindow::show_ranking_progress() {
  bool running = false;
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    running = running || run_control_.worker_active(static_cast<int>(engine));
  }
  if (!running) {
    ranking_progress_.stop();
    show_status(QStringLiteral("查询完成"));
    return;
  }
  show_status(
      QStringLiteral("正在查询 %1/%2 行").arg(run_control_.rows_ranked()).arg(table_.row_count()));
}

void MainWindow::show_status(const QString& status) {
  const QString title = QStringLiteral("Quillrank_V1.1");
  setWindowTitle(status.isEmpty() ? title : title + QStringLiteral(" - ") + status);
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
  const QString shown = QDir::toNativeSeparators(*path);
  QString error;
  const std::optional<DecodedKeywordFile> file = load_keyword_file(*path, error);
  if (!file) {
    desktop_.warn(
        this, QStringLiteral("导入关键词"),
        QStringLiteral("无法读取文件“%1”：%2。输入框中的关键词没有改变。").arg(shown, error));
    return;
  }
  set_box_text(file->text);
  // The list is in the box either way; what was left out or guessed is said, not hidden.
  QStringList notes;
  if (file->ended_at_zero) {
    notes << QStringLiteral("文件中有一个零字节，关键词列表在那里结束，其后的内容没有导入。");
  }
  if (file->unreadable > 0) {
    notes << QStringLiteral(
                 "有 %1 个字符既不是有效的 UTF-8 也不是有效的 GBK（或 GBK 中没有），"
                 "已显示为“?”。")
                 .arg(file->unreadable);
  }
  if (!notes.isEmpty()) {
    desktop_.warn(this, QStringLiteral("导入关键词"),
                  QStringLiteral("文件“%1”已导入。").arg(shown) + notes.join(QString()));
  }
}

void MainWindow::clear_sample_text() {
  if (!expanding_ && is_sample_text(box_text())) set_box_text("");
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controls_.box->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    clear_sample_text();
  }
  return QWidget::eventFilter(watched, event);  // the box still gets the press
}

void MainWindow::set_profiles(const EngineProfiles& profiles) {
  run_control_.set_profiles(profiles);
  model_.set_profiles(profiles);
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    controls_.engines[engine]->setText(check_box_caption(profiles[engine]));
  }
}

}  // namespace quillrank
