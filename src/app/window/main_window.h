// MainWindow: the program's one window. Owns the run's results, their model and the run
// session that fills them, binds the events, and keeps its state from one start to the next.
// Window thread only.
#pragma once

#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/run_end_notifier.h"
#include "app/run_session.h"
#include "app/window/desktop.h"
#include "app/window/keyword_file_dialog.h"
#include "app/window/project_panel.h"
#include "app/window/result_table_model.h"
#include "app/window/verification_dialog.h"
#include "app/window/window_layout.h"
#include "app/window/window_state.h"
#include "engines/run_results.h"
#include "history/history_writer.h"
#include "history/run_recorder.h"

class QMenu;

namespace quillrank {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `desktop` answers the dialogs and opens addresses; it must outlive the window.
  MainWindow(Desktop& desktop, PageSource result_pages, PageSource home_pages,
             QWidget* parent = nullptr);
  // Stops and joins a running expansion and a running run's workers before the results they
  // write to go.
  ~MainWindow() override;

  // The keyword list is the box text, through box_text.h's conversion.
  GbkText box_text();
  void set_box_text(std::string_view text);
  // The check boxes' ticks, by engine index.
  EngineTicks ticks() const;

  // Starts a run. Site entries are expanded on a thread of their own, so the window keeps
  // answering while home pages load; a press during that expansion stops it instead.
  void start_query();
  bool expanding() const { return expanding_; }
  // True while site entries are expanded or any engine's worker ranks.
  bool busy() const { return expanding_ || ranking(); }
  bool ranking() const { return session_.running(); }  // any engine's worker ranks
  void export_keyword_list();
  void import_keyword_list();
  void clear_sample_text();

  // Records every run from now on in the rank history at `path` (a file or a database URL;
  // empty: none), or with `read_only` only shows what it holds. Call before a run, not during
  // one. A database that cannot be used brings one warning; runs go on.
  void set_history(const std::string& path, bool read_only = false);
  HistoryWriter* history() const { return history_.get(); }

  // Tells `command` (the settings' on_run_end; empty: none) of each run that ends by itself,
  // without waiting for it; a failing command is said in the title, nothing else. Call before a
  // run, not during one.
  void set_run_end_command(std::string command) { run_end_.set_command(std::move(command)); }

  // "生成报告…": asks for a file and writes the chosen project's report of all its runs there
  // (an HTML page, or an Excel workbook for a name ending in .xlsx) on a thread of its own, then
  // opens it. Needs a project and a history.
  void write_project_report();
  bool writing_report() const { return report_.joinable(); }

  // The result list's context menu for its current selection: 历史排名, 导出结果…, 复制.
  std::unique_ptr<QMenu> result_menu();
  // Opens the history dialog of result row `row` (0-based).
  void show_row_history(int row);
  // Asks for a file and writes the results to it (CSV, or TSV by the name's ending).
  void export_results();
  // Puts the selected rows on the clipboard as tab-separated text.
  void copy_selected_rows();

  // Keeps the projects under `folder` (empty: none); the box holds the chosen one's list.
  void set_projects_folder(std::string folder) { projects_.set_folder(std::move(folder)); }
  ProjectPanel& projects() { return projects_; }

  const WindowControls& controls() const { return controls_; }
  RunResults& results() { return results_; }
  ResultTableModel& model() { return model_; }
  RunSession& session() { return session_; }

  // Reads the state saved at `path` into the window (box, ticks, size and place, column widths,
  // the file dialogs' folder) and saves the window's state there whenever it closes. True when
  // a size and place were restored. Empty: keep nothing.
  bool keep_state_in(const QString& path);
  WindowState state() const;

  // Ranks these engines from the next run on: one check box and one result column each,
  // captioned with their profiles' names; the window grows to hold the check boxes. An engine
  // keeps its tick by key; a new one is ticked as the saved state or, without one, the engine
  // says.
  void set_engines(const Engines& engines);
  const Engines& engines() const { return session_.engines(); }
  KeywordFileDialog& file_dialog() { return file_dialog_; }

  // Where the engines keep their cookie files (the folder the session's worker sources use):
  // a verification's browser works on the blocked member's cookie file there, so a verification
  // passed in it counts for the engine's own requests. Empty (the default): each verification's
  // browser keeps its cookies to itself.
  void set_cookie_folder(std::string folder) { cookie_folder_ = std::move(folder); }

  // Opens the verification page of the first engine that waits for one ("去验证…"); the open
  // dialog comes to the front instead. The engine goes on when the dialog passes, and handles the
  // block as without a person when it is closed.
  void open_verification();
  // The verification dialog that is open; null when none is.
  VerificationDialog* verification_dialog() const { return verification_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Esc and the close button: while busy, asks first; a run closed this way is stopped (and
  // recorded so). Saves the state when the window closes.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void finish_expansion(const GbkText& box, const GbkText& expanded, const ExpansionReport& report);
  // Splits `text` and starts its rows; says first which lines it left out.
  void start_ranking(const GbkText& text, const std::vector<FailedEntry>& failed = {});
  void warn_left_out(const KeywordList& list);
  void set_expanding(bool expanding);
  // What the members of each engine's proxy pool are doing, for the status line ("" when every
  // engine asks through one client).
  QString pool_summary() const;
  void show_ranking_progress();
  void show_progress(int done, int rows);
  // The start button says what a press does now: start, stop the expansion, or stop and
  // start again.
  void show_start_caption();
  void show_status(const QString& status);  // the title's tail; empty: the bare title
  void finish_project_report(const QString& path, const QString& error);  // "": written
  // A save dialog named `name`, offering `offered` (its ending the default) in the last folder;
  // the chosen path, remembered as the folder for next time, or nullopt when cancelled.
  std::optional<QString> choose_save_path(const QString& name, const QString& title,
                                          const QStringList& filters, const QString& offered);
  // A renamed project's runs in the history follow it.
  void rename_project_history(const std::string& from, const std::string& to);
  // The on_run_end command hears of the run in the results: its moves against the ranks the
  // list shows as before, its id in the history.
  void tell_run_end(bool completed);
  // Says which engines wait for a verification, and closes the dialog of one that no longer
  // waits (its run was stopped).
  void show_verifications();
  // The history of the rows just started, from the runs before the one that started then.
  void load_past_ranks(std::int64_t run_started_ms);
  std::vector<int> selected_rows() const;  // ascending

  Desktop& desktop_;
  // Destroyed in reverse: the session joins its workers (the history hears the run stopped),
  // then the recorder and the history go, then the model leaves the results.
  RunResults results_;
  ResultTableModel model_;
  // The rank history, when on.
  std::unique_ptr<HistoryWriter> history_;
  std::string history_location_;  // where the movements and the dialog read; empty: no history
  std::optional<RunRecorder> recorder_;
  RunSession session_;
  WindowControls controls_;
  ProjectPanel projects_;
  std::map<std::string, bool> saved_ticks_;  // by engine key, as the saved state had them
  KeywordFileDialog file_dialog_;
  QTimer ranking_progress_;
  QDateTime run_started_;  // of the rows in the results; written into result exports
  // The run in the results: its ticks as it started and its project, and a count of the runs
  // started (read by the run's last worker, before the next run starts).
  EngineTicks run_ticks_;
  std::string run_project_;
  int runs_started_ = 0;
  RunEndNotifier run_end_;
  QString run_end_problem_;  // what went wrong with the last run's command; empty: nothing
  QString state_path_;       // empty: keep no state
  std::string cookie_folder_;
  QPointer<VerificationDialog> verification_;  // the open one, at most one at a time
  int verification_id_ = 0;                    // the verification it passes
  int columns_width_;                          // the list width the column widths were set for
  bool expanding_ = false;
  std::jthread expansion_;  // joined first on destruction: it reads session_
  std::jthread report_;     // writes a project's report; joined on destruction
};

}  // namespace quillrank
