#include "app/run_control.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "keywords/keyword_list.h"
#include "net/site_expansion.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

// Why a site entry's row asks no engine: its home page's failure, as the expansion reported it.
GbkText entry_failure(std::string_view entry, const std::vector<FailedEntry>& failed) {
  for (const FailedEntry& f : failed) {
    if (f.entry == entry) return concat_text(entry, " ", f.reason);
  }
  return concat_text(entry, utf8_to_gbk_text(" 站点条目未展开"));
}

}  // namespace

RunControl::RunControl(RunHost& host, ResultTable& table, PageSource result_pages,
                       PageSource home_pages)
    : host_(host),
      table_(table),
      result_pages_(std::move(result_pages)),
      home_pages_(std::move(home_pages)) {}

RunControl::~RunControl() { release_worker_handles(); }

void RunControl::set_run_finished(std::function<void(RunEnd)> callback) {
  run_finished_ = std::move(callback);
}

int RunControl::rows_done(int engine) const {
  const Slot& slot = worker_handle_[engine];
  return slot.rows_done ? slot.rows_done->load() : 0;
}

int RunControl::rows_ranked() const {
  int ranked = table_.row_count();
  for (const Slot& slot : worker_handle_) {
    if (slot.rows_done) ranked = std::min(ranked, slot.rows_done->load());
  }
  return ranked;
}

bool RunControl::worker_active(int engine) const {
  const Slot& slot = worker_handle_[engine];
  return slot.thread.joinable() && !slot.finished->load();
}

void RunControl::release_worker_handles() {
  // Every worker is asked first, so they all wind down at once, then each is joined.
  for (Slot& slot : worker_handle_) slot.thread.request_stop();
  for (Slot& slot : worker_handle_) {
    if (slot.thread.joinable()) slot.thread.join();
    slot.thread = std::jthread();
    slot.finished.reset();
    slot.rows_done.reset();
  }
}

KeywordList RunControl::start_query(std::stop_token stop) {
  clear_for_run();
  const GbkText box = host_.box_text();
  ExpansionReport report;
  const GbkText expanded = expand_entries(box, stop, {}, &report);
  if (stop.stop_requested()) return {};
  if (expanded != box) host_.set_box_text(expanded);
  KeywordList list = split_keyword_list(expanded);
  start_ranking(list, report.failed);
  return list;
}

void RunControl::clear_for_run() {
  // The table must not change under a running worker: a previous run stops first.
  release_worker_handles();
  table_.delete_all_rows();
}

GbkText RunControl::expand_entries(std::string_view list, std::stop_token stop,
                                   const ExpansionProgress& progress,
                                   ExpansionReport* report) const {
  int entries = 0;
  if (progress) {
    const std::vector<GbkText> listed = collect_segments(list, '[', ']');
    entries = static_cast<int>(std::set<GbkText>(listed.begin(), listed.end()).size());
  }
  int fetched = 0;
  const PageSource counted = [&](std::string_view url, std::stop_token token) {
    if (progress) progress(++fetched, entries);
    return home_pages_(url, token);
  };
  return expand_site_entries(list, counted, stop, report);
}

void RunControl::start_ranking(const KeywordList& list, const std::vector<FailedEntry>& failed) {
  if (list.too_many) return;
  EngineTicks ticked{};
  int workers = 0;
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    ticked[engine] = host_.engine_ticked(static_cast<int>(engine));
    workers += ticked[engine];
  }
  for (const QueryRow& pair : list.rows) {
    const int row = table_.insert_row(-1, concat_text("http://", pair.site));
    table_.set_cell_text(row, 1, pair.keyword);
    const GbkText why = pair.entry.empty() ? GbkText() : entry_failure(pair.entry, failed);
    for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
      const int column = kEngines[engine].column;
      if (!ticked[engine]) {
        table_.set_cell_text(row, column, kNotStartedText);
      } else if (pair.entry.empty()) {
        table_.set_cell_text(row, column, kQueryingText);
      } else {
        table_.set_cell_text(row, column, kQueryFailedText, why);
      }
    }
  }
  auto remaining = std::make_shared<std::atomic<int>>(workers);
  auto unstarted = std::make_shared<std::atomic<bool>>(false);  // an engine's worker never ran
  // `stopped`: the worker was asked to stop. The last to end says how the run ended.
  auto one_done = [this, remaining, unstarted](bool stopped) {
    if (remaining->fetch_sub(1) == 1 && !stopped && run_finished_) {
      run_finished_(unstarted->load() ? RunEnd::stopped : RunEnd::completed);
    }
  };
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    if (!ticked[engine]) continue;
    Slot& slot = worker_handle_[engine];
    slot.finished = std::make_shared<std::atomic<bool>>(false);
    slot.rows_done = std::make_shared<std::atomic<int>>(0);
    try {
      std::function<void(std::stop_token)> work =
          [this, engine, one_done, profile = profiles_[engine], pacing = pacing_[engine],
           finished = slot.finished, rows_done = slot.rows_done, page_seen = page_seen_,
           cell_written = cell_written_, sources = worker_sources_](std::stop_token stop) {
            WorkerHooks hooks{.rows_done = rows_done.get()};
            if (page_seen) {
              hooks.page_seen = [&page_seen, engine](const SeenPage& page) {
                page_seen(static_cast<int>(engine), page);
              };
            }
            if (cell_written) {
              hooks.cell_written = [&cell_written, engine](const WrittenCell& cell) {
                cell_written(static_cast<int>(engine), cell);
              };
            }
            const PageSource own = sources ? sources(engine, profile) : PageSource();
            run_engine_worker(profile, table_, own ? own : result_pages_, pacing, stop, hooks);
            finished->store(true);
            one_done(stop.stop_requested());
          };
      slot.thread = start_thread_ ? start_thread_(std::move(work)) : std::jthread(std::move(work));
    } catch (const std::system_error&) {
      // No thread, no ranks: the column says so instead of reading "querying" for ever.
      for (int row = 0; row < table_.row_count(); ++row) {
        table_.set_cell_text(row, kEngines[engine].column, kQueryFailedText,
                             utf8_to_gbk_text("该引擎的查询线程无法启动，本次运行已中止"));
      }
      slot.finished->store(true);
      unstarted->store(true);
      one_done(false);
    }
  }
  if (workers == 0 && run_finished_) run_finished_(RunEnd::completed);
}

}  // namespace quillrank
