// RunRecorder: turns one host's runs into history records. The host says when a run starts and
// ends; the run control hands on every final engine cell a worker writes, which becomes one
// record (site, keyword, engine, text, rank, verdict, reason, time) on the history writer.
#pragma once

#include <atomic>

#include "engines/engine_worker.h"
#include "engines/engines.h"
#include "history/history_writer.h"
#include "text/result_table.h"

namespace quillrank {

class RunRecorder {
 public:
  // `source`: "window" or "batch". The writer and the table must outlive the recorder.
  RunRecorder(HistoryWriter& writer, const ResultTable& table, std::string source);

  // Before the run's workers start, on the host's thread: a new run of the ticked engines. A
  // run still open is marked stopped first. Returns the run's start time (ms since 1970).
  std::int64_t run_started(const EngineTicks& ticked);
  // On a worker's thread: engine slot `engine` wrote its final cell of `cell.row`.
  void cell_written(int engine, const WrittenCell& cell);
  // The run ended: completed (every worker ranked its last row) or stopped. Only the first
  // call after run_started counts, so "stopped" after "completed" changes nothing.
  void run_ended(bool completed);

 private:
  HistoryWriter& writer_;
  const ResultTable& table_;
  const std::string source_;
  std::atomic<HistoryWriter::RunId> run_{0};  // 0: no run open
};

// The site of `row` as the history keys it: UTF-8, without the "http://" its column starts with.
std::string history_site(const ResultTable& table, int row);

}  // namespace quillrank
