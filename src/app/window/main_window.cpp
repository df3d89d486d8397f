#include "app/window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <algorithm>

#include "app/browser/engine_browser.h"
#include "app/history/project_report_file.h"
#include "app/window/box_text.h"
#include "app/window/history_dialog.h"
#include "app/window/keyword_file_io.h"
#include "app/window/movement_delegate.h"
#include "app/window/product_pages.h"
#include "app/window/result_export.h"
#include "engines/engine_client.h"
#include "history/rank_history.h"
#include "keywords/keyword_list.h"
#include "net/site_expansion.h"
#include "settings/settings.h"
#include "text/text_codec.h"

namespace quillrank {

MainWindow::MainWindow(Desktop& desktop, PageSource result_pages, PageSource home_pages,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      desktop_(desktop),
      model_(results_),
      session_(results_, std::move(result_pages), std::move(home_pages)),
      controls_(build_window_controls(
          *this, model_,
          [this](const QUrl& address) { return open_with_desktop(desktop_, address); },
          session_.engines())),
      projects_(*this, desktop, controls_,
                [this]() -> const Engines& { return session_.engines(); }),
      file_dialog_(*this, desktop),
      run_end_([this](const std::string& why) {
        QMetaObject::invokeMethod(
            this,
            [this, why] {
              run_end_problem_ = QString::fromStdString(why);
              if (!busy()) show_ranking_progress();
            },
            Qt::QueuedConnection);
      }),
      columns_width_(controls_.result_list->width()) {
  show_status({});
  setWindowIcon(QIcon(QStringLiteral(":/quillrank/quillrank.png")));
  model_.set_engines(session_.engines());
  // The layout's size is the first and the smallest; the box and the list take any more.
  setMinimumSize(laid_out_size(controls_));
  resize(laid_out_size(controls_));

  // Esc closes from anywhere in the window, the box and the list included (closeEvent asks
  // first while a run is going).
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

  QTableView* list = controls_.result_list;
  list->setItemDelegate(new MovementDelegate(list));
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
    result_menu()->exec(list->viewport()->mapToGlobal(at));
  });
  connect(list, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { show_row_history(index.row()); });
  // The list's own Ctrl+C copies one cell; the filter copies the selected rows instead.
  list->installEventFilter(this);
  // On the thread of the worker that ended last, after the history heard the end.
  session_.set_run_finished([this](RunSession::RunEnd end) {
    // The bar, the caption and the title say so at once, not at the next tick; the command
    // hears of the run unless another has started meanwhile. A call still queued when the
    // window goes is dropped with it.
    QMetaObject::invokeMethod(
        this,
        [this, end, run = runs_started_] {
          if (run == runs_started_) tell_run_end(end == RunSession::RunEnd::completed);
          show_ranking_progress();
        },
        Qt::QueuedConnection);
  });
  // A blocked engine waits for the person at the window; on the thread of its member.
  session_.set_verification_changed([this] {
    QMetaObject::invokeMethod(this, &MainWindow::show_verifications, Qt::QueuedConnection);
  });
  connect(controls_.verify_button, &QPushButton::clicked, this, &MainWindow::open_verification);
  projects_.set_renamed(
      [this](const std::string& from, const std::string& to) { rename_project_history(from, to); });
  QMenu* project_menu = controls_.project_button->menu();
  project_menu->addSeparator();
  QAction* report =
      project_menu->addAction(QStringLiteral("生成报告…"), this, &MainWindow::write_project_report);
  connect(project_menu, &QMenu::aboutToShow, this, [this, report] {
    report->setEnabled(!projects_.current().empty() && !history_location_.empty() &&
                       !report_.joinable());
  });
}

void MainWindow::rename_project_history(const std::string& from, const std::string& to) {
  if (history_location_.empty()) return;
  const QString title = QStringLiteral("重命名项目");
  if (!history_) {
    desktop_.warn(this, title,
                  QStringLiteral("历史排名只读，其中项目“%1”的记录仍用原名称。")
                      .arg(QString::fromStdString(from)));
    return;
  }
  history_->flush();
  try {
    rename_history_project(history_location_, from, to, 1000);
  } catch (const std::exception& error) {
    desktop_.warn(this, title,
                  QStringLiteral("项目已重命名，但历史排名中的记录仍用原名称“%1”：%2")
                      .arg(QString::fromStdString(from), QString::fromStdString(error.what())));
  }
}

void MainWindow::write_project_report() {
  const std::string name = projects_.current();
  if (name.empty() || history_location_.empty() || report_.joinable()) return;
  projects_.save();
  auto loaded = ProjectStore(projects_.folder()).load(name);
  if (const auto* error = std::get_if<std::string>(&loaded)) {
    desktop_.warn(this, QStringLiteral("生成报告"),
                  QStringLiteral("无法读取项目“%1”：%2")
                      .arg(QString::fromStdString(name), QString::fromStdString(*error)));
    return;
  }
  const std::optional<QString> path = choose_save_path(
      QStringLiteral("生成报告对话框"), QStringLiteral("生成报告"),
      {QStringLiteral("网页报告 (*.html)"), QStringLiteral("Excel 工作簿 (*.xlsx)")},
      QString::fromStdString(name) + QStringLiteral("-排名报告.html"));
  if (!path) return;
  if (history_) history_->flush();
  show_status(QStringLiteral("正在生成项目“%1”的报告").arg(QString::fromStdString(name)));
  // A year of a thousand keywords takes seconds to read: the window answers meanwhile.
  report_ = std::jthread([this, project = std::move(std::get<Project>(loaded)), path = *path,
                          location = history_location_] {
    QString error;
    try {
      const std::unique_ptr<RankHistory> store = open_history_for_reading(location, 5000);
      const std::string file = path.toStdString();
      if (!replace_file(file, project_report_file(*store, project, {}, {}, file))) {
        error = QStringLiteral("无法写入文件");
      }
    } catch (const std::exception& failure) {
      error = QString::fromStdString(failure.what());
    }
    QMetaObject::invokeMethod(
        this, [this, path, error] { finish_project_report(path, error); }, Qt::QueuedConnection);
  });
}

void MainWindow::finish_project_report(const QString& path, const QString& error) {
  report_.join();
  if (busy()) {
    show_ranking_progress();
  } else {
    show_status(error.isEmpty() ? QStringLiteral("报告已生成") : QString());
  }
  if (!error.isEmpty()) {
    desktop_.warn(
        this, QStringLiteral("生成报告"),
        QStringLiteral("报告没有写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), error));
    return;
  }
  desktop_.open_url(QUrl::fromLocalFile(path));  // the report is what the person wants to see
}

MainWindow::~MainWindow() {
  // A dialog still open goes while the session it would answer is there; it answers nobody.
  if (verification_) {
    verification_->disconnect(this);
    delete verification_;
  }
  // The fetch in flight watches the stop token and ends within milliseconds; the result it
  // posts dies with this object.
  expansion_.request_stop();
  if (expansion_.joinable()) expansion_.join();
  if (report_.joinable()) report_.join();  // its posted end dies with the window
  session_.stop();                         // before the recorder and the history go
}

void MainWindow::set_history(const std::string& path, bool read_only) {
  session_.set_recorder(nullptr);
  recorder_.reset();
  history_.reset();
  history_location_ = path;
  // Read only: a history another machine records is shown, and this window records nothing.
  if (path.empty() || read_only) return;
  history_ = std::make_unique<HistoryWriter>(
      HistoryWriterOptions{.path = path},
      [this, path = shown_location(path)](const std::string& why) {
        QMetaObject::invokeMethod(
            this,
            [this, path, why] {
              desktop_.warn(this, QStringLiteral("历史排名"),
                            QStringLiteral("无法写入历史排名数据库“%1”：%2\n\n查询照常进行，"
                                           "但本次启动期间不再记录历史排名。")
                                .arg(QString::fromStdString(path), QString::fromStdString(why)));
            },
            Qt::QueuedConnection);
      });
  recorder_.emplace(*history_, "window");
  session_.set_recorder(&*recorder_);
}

GbkText MainWindow::box_text() { return box_to_gbk(controls_.box->toPlainText()); }

void MainWindow::set_box_text(std::string_view text) {
  controls_.box->setPlainText(gbk_to_box(text));
}

EngineTicks MainWindow::ticks() const {
  EngineTicks ticks;
  for (const QCheckBox* box : controls_.engines) ticks.push_back(box->isChecked());
  return ticks;
}

void MainWindow::start_query() {
  if (expanding_) {
    expansion_.request_stop();
    return;
  }
  ranking_progress_.stop();
  session_.stop();  // a run still going was stopped by this press (the history says so)
  show_verifications();
  model_.flush();
  projects_.save();
  const GbkText box = box_text();
  if (collect_segments(box, '[', ']').empty()) {
    start_ranking(box);
    return;
  }
  set_expanding(true);
  expansion_ = std::jthread([this, box](std::stop_token stop) {
    ExpansionReport report;
    GbkText expanded = session_.expand_entries(
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
  if (expanded != box) {
    set_box_text(expanded);
    projects_.keep_list_as_saved();  // a project keeps its site entries as typed
  }
  start_ranking(expanded, report.failed);
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

void MainWindow::start_ranking(const GbkText& text, const std::vector<FailedEntry>& failed) {
  const KeywordList list = split_keyword_list(text);
  if (list.too_many) {  // the session would refuse it
    show_status({});
    desktop_.warn(this, QStringLiteral("关键词列表"),
                  QStringLiteral("列表超过 %1 组，一次最多查询 %1 组。请把列表分成几份再查询。")
                      .arg(kMaxListRows));
    return;
  }
  if (list.left_out_count > 0) warn_left_out(list);
  run_ticks_ = ticks();
  run_project_ = projects_.current();
  session_.set_project(run_project_);  // the history records the run as the project's
  ++runs_started_;
  run_end_problem_.clear();
  const std::optional<std::int64_t> started = session_.start(list, run_ticks_, failed);
  if (!started) return;
  run_started_ = QDateTime::fromMSecsSinceEpoch(*started);
  // The rebuilt rows reach the list before anything repaints.
  model_.flush();
  fit_site_column(*controls_.result_list);
  load_past_ranks(*started);
  show_ranking_progress();
  ranking_progress_.start();
}

void MainWindow::warn_left_out(const KeywordList& list) {
  QString lines;
  for (const ListLine& line : list.left_out) {
    lines += QStringLiteral("\n第 %1 行：%2").arg(line.number).arg(gbk_to_box(line.text));
  }
  if (list.left_out_count > list.left_out.size()) {
    lines += QStringLiteral("\n……另有 %1 行").arg(list.left_out_count - list.left_out.size());
  }
  desktop_.warn(this, QStringLiteral("关键词列表"),
                QStringLiteral("以下 %1 行不是“域名|关键词”的格式（缺少“|”、域名或关键词），"
                               "未查询；其余各行照常查询：")
                        .arg(list.left_out_count) +
                    lines);
}

void MainWindow::set_expanding(bool expanding) {
  expanding_ = expanding;
  // The expansion rewrites the box when it is done: nothing may change it meanwhile.
  controls_.box->setReadOnly(expanding);
  controls_.import_button->setEnabled(!expanding);
  projects_.set_enabled(!expanding);
  if (expanding) {
    show_status(QStringLiteral("正在展开站点条目"));
    show_progress(0, 0);
  }
  show_start_caption();
}

void MainWindow::show_ranking_progress() {
  const int rows = results_.row_count();
  show_progress(session_.rows_ranked(), rows);
  show_start_caption();
  if (!busy()) {
    ranking_progress_.stop();
    show_status(run_end_problem_.isEmpty()
                    ? QStringLiteral("查询完成")
                    : QStringLiteral("查询完成；运行结束命令（on_run_end）失败：") +
                          run_end_problem_);
    return;
  }
  show_status(QStringLiteral("正在查询 %1/%2 行").arg(session_.rows_ranked()).arg(rows) +
              pool_summary());
}

QString MainWindow::pool_summary() const {
  QString summary;
  const Engines& engines = session_.engines();
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    const RunSession::PoolCounts pool = session_.pool_counts(engine);
    if (pool.working + pool.resting + pool.gone < 2) continue;  // one client: nothing to say
    summary += QStringLiteral("；%1：%2 个出口查询中，%3 个休息中，%4 个已退出")
                   .arg(QString::fromStdString(engines[engine].profile.name))
                   .arg(pool.working)
                   .arg(pool.resting)
                   .arg(pool.gone);
  }
  return summary;
}

void MainWindow::show_progress(int done, int rows) {
  QProgressBar* bar = controls_.progress;
  bar->setRange(0, std::max(rows, 1));  // never 0 to 0, which Qt draws as "busy"
  bar->setValue(std::min(done, rows));
  bar->setFormat(QStringLiteral("%1/%2 行").arg(std::min(done, rows)).arg(rows));
}

void MainWindow::show_start_caption() {
  controls_.start_button->setText(expanding_  ? QStringLiteral("停止展开")
                                  : ranking() ? QStringLiteral("停止并重新查询")
                                              : QStringLiteral("开始查询--> > >"));
}

void MainWindow::show_status(const QString& status) {
  const QString title = QStringLiteral("Quillrank_V1.1");
  setWindowTitle(status.isEmpty() ? title : title + QStringLiteral(" - ") + status);
}

void MainWindow::tell_run_end(bool completed) {
  if (run_end_.command().empty()) return;
  const Engines& engines = model_.engines();
  RunSummary summary =
      summarize_run(results_, engines, run_ticks_, [this](int row, std::size_t engine) {
        const PastRanks* past = model_.past_ranks(model_.index(row, kFirstEngineColumn + engine));
        return past ? past->previous : std::nullopt;
      });
  summary.project = run_project_;
  summary.completed = completed;
  if (history_) {
    history_->flush();  // the run is in the database
    try {
      summary.run_id = recorded_run_id(*open_history_for_reading(history_location_, 1000),
                                       run_started_.toMSecsSinceEpoch(), "window", run_project_);
    } catch (const std::exception&) {
      // No run id: the writer tells what is wrong with the database.
    }
  }
  run_end_.notify(std::move(summary));
}

void MainWindow::show_verifications() {
  const std::vector<PendingVerification> waiting = session_.verifications();
  const bool still_waiting =
      std::any_of(waiting.begin(), waiting.end(),
                  [this](const PendingVerification& v) { return v.id == verification_id_; });
  if (verification_ && !still_waiting) verification_->reject();  // answers an id that is gone
  QStringList names;
  for (const PendingVerification& verification : waiting) {
    const QString name =
        QString::fromStdString(session_.engines()[verification.engine].profile.name);
    if (!names.contains(name)) names << name;
  }
  controls_.verify_label->setText(names.join(QStringLiteral("、")) + QStringLiteral("等待验证"));
  controls_.verify_button->setEnabled(!verification_);
  controls_.verify_bar->setVisible(!waiting.empty());
}

void MainWindow::open_verification() {
  if (verification_) {
    verification_->raise();
    verification_->activateWindow();
    return;
  }
  const std::vector<PendingVerification> waiting = session_.verifications();
  if (waiting.empty()) return;
  const PendingVerification& first = waiting.front();
  const Engine& engine = session_.engines()[first.engine];
  // The browser profile on the blocked member's cookie file, which its HTTP client reads too.
  QWebEngineProfile* browser =
      engine_browser_profile(member_cookie_file(engine, first.member, cookie_folder_));
  verification_ =
      new VerificationDialog(engine.profile, browser, QString::fromStdString(first.url), this);
  verification_->setAttribute(Qt::WA_DeleteOnClose);
  verification_id_ = first.id;
  connect(verification_, &QDialog::finished, this, [this, id = first.id](int result) {
    session_.answer_verification(id, result == QDialog::Accepted);
    verification_ = nullptr;  // deleted later, on close
    show_verifications();
  });
  controls_.verify_button->setEnabled(false);
  verification_->show();  // not modal: the run can be watched, and stopped, meanwhile
}

void MainWindow::load_past_ranks(std::int64_t run_started_ms) {
  if (history_location_.empty()) return;
  if (history_) history_->flush();  // the run before this one is in the database
  const RunRows rows = results_.rows();
  const Engines& engines = session_.engines();
  const EngineTicks asked = ticks();
  RowsPastRanks past(rows->size(), std::vector<PastRanks>(engines.size()));
  try {
    const std::unique_ptr<RankHistory> store = open_history_for_reading(history_location_, 1000);
    for (std::size_t row = 0; row < rows->size(); ++row) {
      // The history keeps the bare site, as the rows hold it.
      const std::string site = gbk_to_utf8((*rows)[row].site);
      const std::string keyword = gbk_to_utf8((*rows)[row].keyword);
      for (std::size_t engine = 0; engine < engines.size(); ++engine) {
        if (!asked[engine]) continue;
        past[row][engine] = store->past_ranks(site, keyword, engines[engine].key, run_started_ms);
      }
    }
  } catch (const std::exception&) {
    return;  // no movements; the writer tells what is wrong with the database
  }
  model_.set_past_ranks(std::move(past));
}

std::vector<int> MainWindow::selected_rows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : controls_.result_list->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::unique_ptr<QMenu> MainWindow::result_menu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->setObjectName(QStringLiteral("结果列表菜单"));
  const std::vector<int> rows = selected_rows();
  const int row = rows.empty() ? -1 : rows.front();
  menu->addAction(QStringLiteral("历史排名"), this, [this, row] { show_row_history(row); })
      ->setEnabled(row >= 0 && !history_location_.empty());
  menu->addAction(QStringLiteral("导出结果…"), this, &MainWindow::export_results)
      ->setEnabled(results_.row_count() > 0);
  QAction* copy = menu->addAction(QStringLiteral("复制"), this, &MainWindow::copy_selected_rows);
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(!rows.empty());
  return menu;
}

void MainWindow::show_row_history(int row) {
  if (history_location_.empty() || row < 0 || row >= results_.row_count()) return;
  const QueryRow asked = results_.row(row);
  const std::string site = gbk_to_utf8(asked.site);
  const std::string keyword = gbk_to_utf8(asked.keyword);
  std::vector<HistoryRecord> records;
  if (history_) history_->flush();
  try {
    records = open_history_for_reading(history_location_, 1000)->row_history(site, keyword);
  } catch (const std::exception& error) {
    desktop_.warn(this, QStringLiteral("历史排名"),
                  QStringLiteral("无法读取历史排名：%1").arg(QString::fromStdString(error.what())));
    return;
  }
  auto* dialog = new HistoryDialog(QString::fromStdString(site), QString::fromStdString(keyword),
                                   records, session_.engines(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

std::optional<QString> MainWindow::choose_save_path(const QString& name, const QString& title,
                                                    const QStringList& filters,
                                                    const QString& offered) {
  QFileDialog dialog(this);
  dialog.setObjectName(name);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setWindowTitle(title);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QFileInfo(offered).suffix());
  dialog.setDirectory(file_dialog_.folder());
  dialog.selectFile(offered);
  const std::optional<QString> path = desktop_.choose_file(dialog);
  if (path) file_dialog_.remember(*path);
  return path;
}

void MainWindow::export_results() {
  const std::optional<QString> path = choose_save_path(
      QStringLiteral("导出结果对话框"), QStringLiteral("导出结果"),
      {QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("制表符分隔文本 (*.tsv *.txt)")},
      QStringLiteral("排名结果.csv"));
  if (!path) return;
  QString error;
  if (!export_result_table(results_, model_.engines(), run_started_, *path, error)) {
    desktop_.warn(
        this, QStringLiteral("导出结果"),
        QStringLiteral("结果没有保存到文件“%1”：%2").arg(QDir::toNativeSeparators(*path), error));
  }
}

void MainWindow::copy_selected_rows() {
  const std::vector<int> rows = selected_rows();
  if (rows.empty()) return;
  QApplication::clipboard()->setText(result_rows_text(results_, rows));
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

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy() &&
      !desktop_.ask(this, QStringLiteral("关闭窗口"),
                    expanding_
                        ? QStringLiteral("正在展开站点条目。关闭窗口将停止展开，确定关闭吗？")
                        : QStringLiteral("查询正在进行。关闭窗口将停止本次查询"
                                         "（已得到的排名会保留在历史记录中），确定关闭吗？"))) {
    event->ignore();
    return;
  }
  // The expansion ends within milliseconds; its posted result sees the stop.
  expansion_.request_stop();
  ranking_progress_.stop();
  session_.stop();  // a run still going was stopped by this close (the history says so)
  show_verifications();
  projects_.save();
  if (!state_path_.isEmpty()) {
    QString error;
    if (!write_window_state(state_path_, state(), error)) {
      desktop_.warn(this, QStringLiteral("保存窗口状态"),
                    QStringLiteral("窗口状态没有保存到文件“%1”：%2")
                        .arg(QDir::toNativeSeparators(state_path_), error));
    }
  }
  event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  lay_out_controls(controls_, size());
  resize_site_column(*controls_.result_list, controls_.result_list->width() - columns_width_);
  columns_width_ = controls_.result_list->width();
  QWidget::resizeEvent(event);
}

bool MainWindow::keep_state_in(const QString& path) {
  state_path_ = path;
  const std::optional<WindowState> saved = read_window_state(path);
  if (!saved) return false;
  controls_.box->setPlainText(saved->box);
  saved_ticks_ = saved->ticks;
  const Engines& engines = session_.engines();
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    const auto saved_tick = saved_ticks_.find(engines[engine].key);
    if (saved_tick != saved_ticks_.end()) controls_.engines[engine]->setChecked(saved_tick->second);
  }
  // The project chosen when the window closed, unless it has gone since.
  const std::string project = saved->project.toStdString();
  if (!project.empty() && ProjectStore(projects_.folder()).exists(project)) {
    projects_.choose(project);
  }
  file_dialog_.set_folder(saved->folder);
  const bool placed = restoreGeometry(saved->geometry);
  // The widths belong to the list width they were saved at; a later resize adjusts from there.
  if (controls_.result_list->horizontalHeader()->restoreState(saved->columns) &&
      saved->list_width > 0) {
    columns_width_ = saved->list_width;
  }
  return placed;
}

WindowState MainWindow::state() const {
  WindowState state{.box = projects_.own_list(),
                    .ticks = saved_ticks_,  // an engine not shown now keeps its saved tick
                    .geometry = saveGeometry(),
                    .columns = controls_.result_list->horizontalHeader()->saveState(),
                    .list_width = columns_width_,
                    .folder = file_dialog_.folder(),
                    .project = QString::fromStdString(projects_.current())};
  const Engines& engines = session_.engines();
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    state.ticks[engines[engine].key] = controls_.engines[engine]->isChecked();
  }
  return state;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controls_.result_list && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    copy_selected_rows();
    return true;
  }
  if (watched == controls_.box->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    clear_sample_text();
  }
  return QWidget::eventFilter(watched, event);  // the box still gets the press
}

void MainWindow::set_engines(const Engines& engines) {
  // Each engine's tick: the chosen project's, else its box's when it had one, else the saved
  // state's, else its default.
  const Engines& before = session_.engines();
  EngineTicks ticked;
  for (const Engine& engine : engines) {
    const std::optional<std::size_t> had = engine_index(before, engine.key);
    const auto saved = saved_ticks_.find(engine.key);
    ticked.push_back(had                           ? controls_.engines[*had]->isChecked()
                     : saved != saved_ticks_.end() ? saved->second
                                                   : engine.ticked);
  }
  if (std::optional<EngineTicks> project = projects_.project_ticks(engines)) ticked = *project;
  const int columns_before = model_.columnCount();
  session_.set_engines(engines);
  model_.set_engines(engines);
  if (model_.columnCount() != columns_before) reset_column_widths(*controls_.result_list);
  const QSize smallest_before = minimumSize();
  set_engine_check_boxes(controls_, engines, ticked);
  // A window at its first size stays at it; a larger one grows as far as the check boxes need.
  setMinimumSize(laid_out_size(controls_));
  resize(size() == smallest_before ? laid_out_size(controls_)
                                   : size().expandedTo(laid_out_size(controls_)));
  lay_out_controls(controls_, size());
}

}  // namespace quillrank
