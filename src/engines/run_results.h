// RunResults: a run's rows and, for each row and engine, what the engine's worker found, typed
// (verdict, rank, the address that ranks) with the cell's text and detail. The result list the
// window shows and the table the batch writes are projections of it. Thread-safe: every
// operation is atomic under one mutex and never waits for a user interface; a view subscribes
// to change notifications and marshals them to its own thread itself.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "engines/page_verdict.h"
#include "keywords/keyword_list.h"
#include "text/gbk_text.h"
#include "text/mutex.h"

namespace quillrank {

// What an engine's worker decided for one row.
struct RowResult {
  Verdict verdict = Verdict::result;
  int rank = 0;     // 1 .. kMaxRank; 0: none
  GbkText address;  // the result link that ranks, as the page gives it; empty: none
  GbkText text;     // the cell's text: "第N名", kNotFoundText, kBlockedText, ...
  GbkText detail;   // why the cell reads so: the page and the address, or the page's reason

  bool operator==(const RowResult&) const = default;
};

// Where an engine's cell of a row stands: waiting is a querying cell whose engine waits for a
// person to pass its verification.
enum class CellState { not_asked, querying, waiting, done };

struct EngineCell {
  CellState state = CellState::not_asked;
  RowResult result;  // set once state is done
};

// The text a cell shows: the result's, else kQueryingText, kWaitingText or kNotStartedText
// (GBK).
std::string_view cell_text(const EngineCell& cell);

// The site as the result list shows it: "http://" + the site the row holds.
GbkText site_cell_text(const QueryRow& row);

// The rows of a run, shared with its workers; they never change while the run goes on.
using RunRows = std::shared_ptr<const std::vector<QueryRow>>;

// What changed: every row (a new run's rows, or none), one engine's cell of one row, or every
// cell of one engine (engine_changed: it began or ended waiting).
struct ResultChange {
  enum class Kind { rows_reset, cell_changed, engine_changed } kind;
  int row = -1;
  std::size_t engine = 0;
};

class RunResults {
 public:
  // Called after the lock is released, on the thread that made the change. It must not block
  // on another thread that may be waiting for these results.
  using Observer = std::function<void(const ResultChange&)>;
  void set_observer(Observer observer);

  // A new run's rows, each engine's cells standing as `states` says (by engine index).
  void reset(RunRows rows, const std::vector<CellState>& states);
  void clear() { reset(nullptr, {}); }

  int row_count() const;
  std::size_t engine_count() const;
  RunRows rows() const;  // never null
  // A copy of the row; an empty one for a row that does not exist.
  QueryRow row(int row) const;
  // The engine's cell of the row; a not_asked one when either does not exist.
  EngineCell cell(int row, std::size_t engine) const;
  // The engine waits for a person to pass its verification (true) or goes on (false): its
  // querying cells read as waiting meanwhile. Counted, for the members of a pool that wait at
  // once: the engine waits until each has gone on. A new run's rows wait for nothing.
  void set_waiting(std::size_t engine, bool waiting);
  // Sets the engine's cell of the row to `result` (done). False, and nothing changes, when
  // either does not exist.
  bool set_result(int row, std::size_t engine, RowResult result);

 private:
  void notify(const ResultChange& change) const;

  mutable Mutex mutex_;
  RunRows rows_ GUARDED_BY(mutex_);
  std::size_t engines_ GUARDED_BY(mutex_) = 0;
  std::vector<EngineCell> cells_ GUARDED_BY(mutex_);  // row by row, engine by engine
  std::vector<int> waiting_ GUARDED_BY(mutex_);       // by engine: its members that wait
  std::shared_ptr<const Observer> observer_ GUARDED_BY(mutex_);
};

}  // namespace quillrank
