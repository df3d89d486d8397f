// RunSession: one run's lifecycle, from a split keyword list to its end: the rows and their
// results, one worker thread per asked engine, the history record, progress, stop and how the
// run ended. Qt-free: the window and the batch command both drive it. Call its members from one
// thread (the host's), never from a worker's.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/verification_desk.h"
#include "engines/engine_client.h"
#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "engines/run_results.h"
#include "history/run_recorder.h"
#include "keywords/keyword_list.h"
#include "net/site_expansion.h"

namespace quillrank {

// Hears which site entry the expansion fetches next: (entry, 1-based; distinct entries).
using ExpansionProgress = std::function<void(int entry, int entries)>;

// What a row without a keyword reads for every asked engine: no engine is asked for it. A site
// entry's row says why its home page could not be read (`failed`, from the expansion).
RowResult unasked_row_result(const QueryRow& row, const std::vector<FailedEntry>& failed);

class RunSession {
 public:
  // `result_pages` serves the workers unless worker sources are set; `home_pages` the site-entry
  // expansion, on the thread that expands. The results must outlive the session.
  RunSession(RunResults& results, PageSource result_pages, PageSource home_pages);
  ~RunSession();  // stops a run that goes on
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  // The engines of the next runs, with their profiles and pacing (the built-in set until set).
  void set_engines(Engines engines) { engines_ = std::move(engines); }
  const Engines& engines() const { return engines_; }
  // Makes each member of each engine's pool in the next runs a source of its own, on the
  // member's thread (one client per member). Unset: every member fetches through
  // `result_pages`.
  void set_worker_sources(WorkerSources sources) { worker_sources_ = std::move(sources); }
  // Hears of every page a worker judged (engine index, the page), on the worker's thread.
  using PageSeen = std::function<void(std::size_t engine, const SeenPage& page)>;
  void set_page_seen(PageSeen page_seen) { page_seen_ = std::move(page_seen); }
  // Records the next runs in the rank history (nullptr: none). It must outlive the session.
  void set_recorder(RunRecorder* recorder) { recorder_ = recorder; }
  // The project the next runs rank, as the history records it (empty, the default: none).
  void set_project(std::string project) { project_ = std::move(project); }
  const std::string& project() const { return project_; }

  // How a run that was not stopped ended: every worker ranked its last row (completed), or an
  // engine's worker could not start, so its column holds no ranks (stopped).
  enum class RunEnd { completed, stopped };
  // Called once per run that was not stopped, when its last worker has ended: on that worker's
  // thread (on the host's when no worker ran), after the history heard the end.
  void set_run_finished(std::function<void(RunEnd)> callback) {
    run_finished_ = std::move(callback);
  }

  // With a person to ask (the window): a pool member whose page the engine blocks waits for
  // the person to pass the engine's verification instead of handling the block as its pacing
  // says, and the engine's cells not decided yet read kWaitingText meanwhile. `changed` hears,
  // on a worker's thread, that the verifications waiting changed (see verifications()). Unset
  // (the batch, and the default): blocks are handled as the pacing says. Set it before a run.
  void set_verification_changed(std::function<void()> changed);
  // The verifications the current run's engines wait for, the first asked first.
  std::vector<PendingVerification> verifications() const;
  // Answers waiting verification `id`: passed, the engine asks the blocked page again and goes
  // on; not, it handles the block as without a person. An id not waiting is left alone.
  void answer_verification(int id, bool passed);

  // Starts a worker's thread; throws std::system_error when it cannot (the default: a
  // std::jthread). For tests of a run whose worker cannot start.
  using StartThread = std::function<std::jthread(std::function<void(std::stop_token)>)>;
  void set_start_thread(StartThread start) { start_thread_ = std::move(start); }

  // `list` with every site entry expanded, one home-page fetch per distinct entry. Any thread:
  // touches neither the host nor the results. Once `stop` is requested no further page is
  // fetched and the result is to be dropped. What had to be left out goes into `report`.
  GbkText expand_entries(std::string_view list, std::stop_token stop,
                         const ExpansionProgress& progress = {},
                         ExpansionReport* report = nullptr) const;

  // Stops and joins the workers of a run that goes on (the history records it as stopped); the
  // results keep what the run decided.
  void stop();

  // Stops a run that goes on and empties the results, then starts one over `list`'s rows,
  // asking each engine that `ticks` ticks (by engine index; missing ticks are off): the results
  // get the rows, the history a new run, and each asked engine a worker. A site entry's row
  // reads kQueryFailedText for each asked engine, with the reason `failed` gives for it, and no
  // engine is asked for it. Returns the run's start time (ms since 1970); nullopt, and nothing
  // starts, when the list has too many rows.
  std::optional<std::int64_t> start(const KeywordList& list, const EngineTicks& ticks,
                                    const std::vector<FailedEntry>& failed = {});

  // True while the engine's worker of the current run has not finished.
  bool engine_running(std::size_t engine) const;
  bool running() const;  // any engine's
  // How many rows the engine has decided in the current run (0 for an engine not asked).
  int rows_done(std::size_t engine) const;
  // How many rows every asked engine has decided (the rows, when none is asked).
  int rows_ranked() const;
  // What the members of the engine's pool are doing in the current run (all 0 for an engine
  // not asked).
  struct PoolCounts {
    int working = 0;
    int resting = 0;
    int gone = 0;
  };
  PoolCounts pool_counts(std::size_t engine) const;

 private:
  struct Worker {
    std::size_t engine = 0;
    std::jthread thread;
    std::shared_ptr<std::atomic<bool>> finished;
    std::shared_ptr<std::atomic<int>> rows_done;
    std::shared_ptr<PoolStatus> status;
  };
  void start_worker(Worker& worker, const RunRows& rows,
                    const std::function<void(bool stopped)>& one_done);
  void join_workers();

  RunResults& results_;
  PageSource result_pages_;
  PageSource home_pages_;
  Engines engines_ = builtin_engines(kDefaultProfileSet);
  WorkerSources worker_sources_;
  PageSeen page_seen_;
  std::shared_ptr<VerificationDesk> verifications_;  // null: no person to ask
  RunRecorder* recorder_ = nullptr;
  std::string project_;
  std::function<void(RunEnd)> run_finished_;
  StartThread start_thread_;
  Engines run_engines_;  // the engines of the current run, as it started
  std::vector<Worker> workers_;
};

}  // namespace quillrank
