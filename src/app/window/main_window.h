// MainWindow: the program's one window. Owns the result table, its model and the run control,
// hosts the run, and binds the five events. Window thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>
#include <thread>
#include <vector>

#include "app/run_control.h"
#include "app/window/desktop.h"
#include "app/window/keyword_file_dialog.h"
#include "app/window/result_table_model.h"
#include "app/window/window_layout.h"
#include "text/result_table.h"

namespace quillrank {

class MainWindow : public QWidget, public RunHost {
  Q_OBJECT

 public:
  // `desktop` answers the dialogs and opens addresses; it must outlive the window.
  MainWindow(Desktop& desktop, PageSource result_pages, PageSource home_pages,
             QWidget* parent = nullptr);
  // Stops and joins a running expansion and a running run's workers before the table they
  // write to goes.
  ~MainWindow() override;

  // RunHost: the keyword list is the box text, through box_text.h's conversion.
  GbkText box_text() override;
  void set_box_text(std::string_view text) override;
  bool engine_ticked(int engine) override;

  // Starts a run. Site entries are expanded on a thread of their own, so the window keeps
  // answering while home pages load; a press during that expansion stops it instead.
  void start_query();
  bool expanding() const { return expanding_; }
  void export_keyword_list();
  void import_keyword_list();
  void clear_sample_text();

  const WindowControls& controls() const { return controls_; }
  ResultTable& table() { return table_; }
  ResultTableModel& model() { return model_; }
  RunControl& run_control() { return run_control_; }

  // Ranks with these profiles from the next run on, and captions the check boxes and the
  // result columns with their names.
  void set_profiles(const EngineProfiles& profiles);
  KeywordFileDialog& file_dialog() { return file_dialog_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void finish_expansion(const GbkText& box, const GbkText& expanded, const ExpansionReport& report);
  void start_ranking(const GbkText& list);
  void set_expanding(bool expanding);
  void show_ranking_progress();
  void show_status(const QString& status);  // the title's tail; empty: the bare title

  Desktop& desktop_;
  // Destroyed in reverse: the run control joins its workers, then the model leaves the table.
  ResultTable table_;
  ResultTableModel model_;
  RunControl run_control_;
  WindowControls controls_;
  KeywordFileDialog file_dialog_;
  QTimer ranking_progress_;
  bool expanding_ = false;
  std::jthread expansion_;  // joined first on destruction: it reads run_control_
};

}  // namespace quillrank
