// RunRecorder: turns one host's runs into history records. The run session says when a run
// starts and ends and hands on every row result a worker decides, which becomes one record
// (site, keyword, engine, text, rank, address, verdict, reason, time) on the history writer.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engines/run_results.h"
#include "history/history_writer.h"

namespace quillrank {

// The record of the engine called `engine_key` deciding `row` as `result`, at `time_ms`.
CellRecord cell_record(const QueryRow& row, std::string_view engine_key, const RowResult& result,
                       std::int64_t time_ms);
// The result a record keeps, as the worker decided it.
RowResult recorded_result(const CellRecord& cell);

class RunRecorder {
 public:
  // `source`: "window" or "batch". The writer must outlive the recorder.
  RunRecorder(HistoryWriter& writer, std::string source);

  // Before the run's workers start, on the host's thread: a new run asking the engines called
  // `engine_keys` for `rows`, of the project called `project` (empty: none). A run still open
  // is marked stopped first. Returns the run's start time (ms since 1970).
  std::int64_t run_started(const std::vector<std::string>& engine_keys, RunRows rows,
                           std::string project);
  // On any thread: the engine called `engine_key` decided row `row` (0-based) of the run.
  void record(std::string_view engine_key, int row, const RowResult& result);
  // The run ended: completed (every worker ranked its last row) or stopped. Only the first
  // call after run_started counts, so "stopped" after "completed" changes nothing.
  void run_ended(bool completed);

 private:
  HistoryWriter& writer_;
  const std::string source_;
  RunRows rows_;                              // set before the run's workers start, read by them
  std::atomic<HistoryWriter::RunId> run_{0};  // 0: no run open
};

}  // namespace quillrank
