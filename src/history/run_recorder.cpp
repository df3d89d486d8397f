#include "history/run_recorder.h"

#include "text/text_codec.h"

namespace quillrank {

CellRecord cell_record(const QueryRow& row, std::string_view engine_key, const RowResult& result,
                       std::int64_t time_ms) {
  return {.site = gbk_to_utf8(row.site),
          .keyword = gbk_to_utf8(row.keyword),
          .engine = std::string(engine_key),
          .text = gbk_to_utf8(result.text),
          .rank = result.rank > 0 ? std::optional<int>(result.rank) : std::nullopt,
          .verdict = std::string(verdict_name(result.verdict)),
          .reason = gbk_to_utf8(result.detail),
          .time_ms = time_ms,
          .address = gbk_to_utf8(result.address)};
}

RowResult recorded_result(const CellRecord& cell) {
  return {.verdict = verdict_named(cell.verdict),
          .rank = cell.rank.value_or(0),
          .address = utf8_to_gbk_text(cell.address),
          .text = utf8_to_gbk_text(cell.text),
          .detail = utf8_to_gbk_text(cell.reason)};
}

RunRecorder::RunRecorder(HistoryWriter& writer, std::string source)
    : writer_(writer), source_(std::move(source)) {}

std::int64_t RunRecorder::run_started(const std::vector<std::string>& engine_keys, RunRows rows,
                                      std::string project) {
  run_ended(false);
  std::string engines;
  for (const std::string& key : engine_keys) {
    if (!engines.empty()) engines += ',';
    engines += key;
  }
  rows_ = std::move(rows);
  const std::int64_t started = now_ms();
  run_ = writer_.start_run(started, std::move(engines), source_, std::move(project));
  return started;
}

void RunRecorder::record(std::string_view engine_key, int row, const RowResult& result) {
  const HistoryWriter::RunId run = run_;
  if (run == 0 || !rows_ || row < 0 || static_cast<std::size_t>(row) >= rows_->size()) return;
  writer_.record(
      run, cell_record((*rows_)[static_cast<std::size_t>(row)], engine_key, result, now_ms()));
}

void RunRecorder::run_ended(bool completed) {
  const HistoryWriter::RunId run = run_.exchange(0);
  if (run != 0) {
    writer_.end_run(run, completed ? RunState::completed : RunState::stopped, now_ms());
  }
}

}  // namespace quillrank
