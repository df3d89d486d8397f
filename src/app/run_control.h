// RunControl: the start of a run (box text to table rows to one worker thread per ticked engine)
// and the worker slots. Qt-free: the window and the batch command both drive it through RunHost.
// Call start_query and release_worker_handles from one thread (the host's); never from a worker.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "keywords/keyword_list.h"
#include "net/site_expansion.h"
#include "text/result_table.h"

namespace quillrank {

// What the run control reads from and writes to its host (the window, or the batch command).
class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual GbkText box_text() = 0;                        // the whole keyword list
  virtual void set_box_text(std::string_view text) = 0;  // after site entries were expanded
  virtual bool engine_ticked(int engine) = 0;            // 0 Baidu, 1 Google, 2 Sogou, 3 Soso
};

// Hears which site entry the expansion fetches next: (entry, 1-based; distinct entries).
using ExpansionProgress = std::function<void(int entry, int entries)>;

class RunControl {
 public:
  // `result_pages` serves the workers; `home_pages` the site-entry expansion, on the thread
  // that expands.
  RunControl(RunHost& host, ResultTable& table, PageSource result_pages, PageSource home_pages);
  ~RunControl();  // releases every worker slot
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // Hears of every page a worker judged (engine slot index, the page), on the worker's thread;
  // from the next run on.
  using PageSeen = std::function<void(int engine, const SeenPage& page)>;
  void set_page_seen(PageSeen page_seen) { page_seen_ = std::move(page_seen); }

  // Makes each worker of the next runs a source of its own for its run (the engine's slot and
  // profile), on the worker's thread: one client per engine. Unset: every worker fetches
  // through `result_pages`.
  using WorkerSources = std::function<PageSource(std::size_t engine, const EngineProfile& profile)>;
  void set_worker_sources(WorkerSources sources) { worker_sources_ = std::move(sources); }

  // Each engine's profile from the next run on (by slot; the built-in ones until set).
  void set_profiles(const EngineProfiles& profiles) { profiles_ = profiles; }
  const EngineProfiles& profiles() const { return profiles_; }
  // Hears of every final engine cell a worker wrote (engine slot index, the cell), on the
  // worker's thread; from the next run on.
  using CellWritten = std::function<void(int engine, const WrittenCell& cell)>;
  void set_cell_written(CellWritten cell_written) { cell_written_ = std::move(cell_written); }

  // How each engine's requests are paced from the next run on (index 0 Baidu .. 3 Soso).
  void set_pacing(const std::array<EnginePacing, kEngineCount>& pacing) { pacing_ = pacing; }
  const std::array<EnginePacing, kEngineCount>& pacing() const { return pacing_; }

  // Stops and joins the workers of a previous run, rebuilds the table from the expanded box
  // text and starts one worker per ticked engine, in the order Baidu, Google, Sogou, Soso: the
  // steps below in one go, on the host's thread. Returns the list as split (what it left out is
  // the host's to say). Once `stop` is requested during the expansion, the box and the (empty)
  // table stay as they are and no worker starts.
  KeywordList start_query(std::stop_token stop = {});

  // The steps of start_query, for a host that expands off its own thread (the window).
  // 1. Stops and joins a previous run's workers and empties the table. Host's thread.
  void clear_for_run();
  // 2. `list` with every site entry expanded, one home-page fetch per distinct entry. Any
  //    thread: touches neither the host nor the table. Once `stop` is requested no further
  //    page is fetched and the result is to be dropped.
  //    What the expansion had to leave out goes into `report`.
  GbkText expand_entries(std::string_view list, std::stop_token stop,
                         const ExpansionProgress& progress = {},
                         ExpansionReport* report = nullptr) const;
  // 3. One row per row of `list` (the split of the expansion's text, not of the box's rendering
  //    of it) and one worker per ticked engine; nothing when the list has too many rows. A site
  //    entry's row reads kQueryFailedText in every ticked column, with the reason `failed` gives
  //    for it as the detail, and no engine is asked for it. Host's thread.
  void start_ranking(const KeywordList& list, const std::vector<FailedEntry>& failed = {});

  // Stops and joins every worker; each slot is released once and reads empty afterwards.
  void release_worker_handles();

  // True while engine `engine`'s slot holds a worker that has not finished.
  bool worker_active(int engine) const;

  // How many rows engine `engine`'s worker of the current run has written a final cell for.
  int rows_done(int engine) const;
  // How many rows every engine of the current run has written (the table's rows when none).
  int rows_ranked() const;

  // How a run that was not asked to stop ended: every worker ranked its last row (completed),
  // or an engine's worker could not start, so its column holds no ranks (stopped).
  enum class RunEnd { completed, stopped };
  // Called once per run, on the thread of the worker that finished last (or the host's, when
  // none ran), when every worker of that run has ended. Not called for a run that was asked to
  // stop. Set before a run.
  void set_run_finished(std::function<void(RunEnd)> callback);

  // Starts a worker's thread; throws std::system_error when it cannot (the default: a
  // std::jthread). For tests of a run whose worker cannot start.
  using StartThread = std::function<std::jthread(std::function<void(std::stop_token)>)>;
  void set_start_thread(StartThread start) { start_thread_ = std::move(start); }

 private:
  struct Slot {
    std::jthread thread;
    std::shared_ptr<std::atomic<bool>> finished;
    std::shared_ptr<std::atomic<int>> rows_done;
  };

  RunHost& host_;
  ResultTable& table_;
  PageSource result_pages_;
  PageSource home_pages_;
  EngineProfiles profiles_ = builtin_profiles(kDefaultProfileSet);
  WorkerSources worker_sources_;
  std::array<EnginePacing, kEngineCount> pacing_{};
  PageSeen page_seen_;
  CellWritten cell_written_;
  std::function<void(RunEnd)> run_finished_;
  StartThread start_thread_;
  std::array<Slot, kEngineCount> worker_handle_;
};

}  // namespace quillrank
