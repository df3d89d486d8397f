#include "history/run_recorder.h"

#include "text/text_codec.h"

namespace quillrank {

std::string history_site(const ResultTable& table, int row) {
  // The site column reads "http://" + the site as the list gave it.
  std::string site = gbk_to_utf8(table.get_cell_text(row, 0));
  if (site.starts_with("http://")) site.erase(0, 7);
  return site;
}

RunRecorder::RunRecorder(HistoryWriter& writer, const ResultTable& table, std::string source)
    : writer_(writer), table_(table), source_(std::move(source)) {}

std::int64_t RunRecorder::run_started(const EngineTicks& ticked) {
  run_ended(false);
  std::string engines;
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    if (!ticked[engine]) continue;
    if (!engines.empty()) engines += ',';
    engines += kEngines[engine].key;
  }
  const std::int64_t started = now_ms();
  run_ = writer_.start_run(started, std::move(engines), source_);
  return started;
}

void RunRecorder::cell_written(int engine, const WrittenCell& cell) {
  const HistoryWriter::RunId run = run_;
  if (run == 0) return;
  writer_.record(run, {.site = history_site(table_, cell.row),
                       .keyword = gbk_to_utf8(table_.get_cell_text(cell.row, 1)),
                       .engine = std::string(kEngines[engine].key),
                       .text = gbk_to_utf8(cell.text),
                       .rank = cell.rank > 0 ? std::optional<int>(cell.rank) : std::nullopt,
                       .verdict = std::string(verdict_name(cell.verdict)),
                       .reason = gbk_to_utf8(cell.detail),
                       .time_ms = now_ms(),
                       .address = gbk_to_utf8(cell.address)});
}

void RunRecorder::run_ended(bool completed) {
  const HistoryWriter::RunId run = run_.exchange(0);
  if (run != 0) {
    writer_.end_run(run, completed ? RunState::completed : RunState::stopped, now_ms());
  }
}

}  // namespace quillrank
