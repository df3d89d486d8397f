#include "app/run_session.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "engines/cell_texts.h"
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

// A row no engine was asked for, and why.
RowResult failed_result(GbkText detail) {
  RowResult failure;
  failure.verdict = Verdict::failed;
  failure.text = GbkText(kQueryFailedText);
  failure.detail = std::move(detail);
  return failure;
}

}  // namespace

RowResult unasked_row_result(const QueryRow& row, const std::vector<FailedEntry>& failed) {
  return failed_result(row.entry.empty() ? utf8_to_gbk_text("关键词为空，未查询")
                                         : entry_failure(row.entry, failed));
}

RunSession::RunSession(RunResults& results, PageSource result_pages, PageSource home_pages)
    : results_(results),
      result_pages_(std::move(result_pages)),
      home_pages_(std::move(home_pages)) {}

RunSession::~RunSession() { stop(); }

GbkText RunSession::expand_entries(std::string_view list, std::stop_token stop,
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

void RunSession::set_verification_changed(std::function<void()> changed) {
  verifications_ = changed ? std::make_shared<VerificationDesk>(std::move(changed)) : nullptr;
}

std::vector<PendingVerification> RunSession::verifications() const {
  return verifications_ ? verifications_->pending() : std::vector<PendingVerification>();
}

void RunSession::answer_verification(int id, bool passed) {
  if (verifications_) verifications_->answer(id, passed);
}

void RunSession::join_workers() {
  // Every worker is asked first, so they all wind down at once, then each is joined.
  for (Worker& worker : workers_) worker.thread.request_stop();
  for (Worker& worker : workers_) {
    if (worker.thread.joinable()) worker.thread.join();
  }
  workers_.clear();
}

void RunSession::stop() {
  join_workers();
  if (recorder_) recorder_->run_ended(false);  // what was ranked stays, marked stopped
}

std::optional<std::int64_t> RunSession::start(const KeywordList& list, const EngineTicks& ticks,
                                              const std::vector<FailedEntry>& failed) {
  stop();
  results_.clear();
  if (list.too_many) return std::nullopt;
  run_engines_ = engines_;
  auto rows = std::make_shared<const std::vector<QueryRow>>(list.rows);
  std::vector<CellState> states;
  std::vector<std::string> asked;
  for (std::size_t engine = 0; engine < run_engines_.size(); ++engine) {
    const bool ticked = engine < ticks.size() && ticks[engine];
    states.push_back(ticked ? CellState::querying : CellState::not_asked);
    if (ticked) {
      asked.push_back(run_engines_[engine].key);
      workers_.push_back({engine,
                          {},
                          std::make_shared<std::atomic<bool>>(false),
                          std::make_shared<std::atomic<int>>(0),
                          std::make_shared<PoolStatus>()});
    }
  }
  results_.reset(rows, states);
  const std::int64_t started = recorder_ ? recorder_->run_started(asked, rows, project_) : now_ms();

  // A site entry's row is decided here, for every asked engine: no engine is asked for it.
  for (std::size_t index = 0; index < rows->size(); ++index) {
    const QueryRow& row = (*rows)[index];
    if (!row.keyword.empty()) continue;
    const RowResult failure = unasked_row_result(row, failed);
    for (Worker& worker : workers_) {
      results_.set_result(static_cast<int>(index), worker.engine, failure);
      if (recorder_)
        recorder_->record(run_engines_[worker.engine].key, static_cast<int>(index), failure);
      ++*worker.rows_done;
    }
  }

  auto remaining = std::make_shared<std::atomic<int>>(static_cast<int>(workers_.size()));
  auto unstarted = std::make_shared<std::atomic<bool>>(false);  // an engine's worker never ran
  // `stopped`: the worker was asked to stop. The last to end says how the run ended.
  const std::function<void(bool)> one_done = [this, remaining, unstarted](bool stopped) {
    if (remaining->fetch_sub(1) != 1 || stopped) return;
    const RunEnd end = unstarted->load() ? RunEnd::stopped : RunEnd::completed;
    if (recorder_) recorder_->run_ended(end == RunEnd::completed);
    if (run_finished_) run_finished_(end);
  };
  for (Worker& worker : workers_) {
    try {
      start_worker(worker, rows, one_done);
    } catch (const std::system_error&) {
      // No thread, no ranks: the column says so instead of reading "querying" for ever.
      const RowResult failure =
          failed_result(utf8_to_gbk_text("该引擎的查询线程无法启动，本次运行已中止"));
      for (std::size_t row = 0; row < rows->size(); ++row) {
        if (!(*rows)[row].keyword.empty()) {
          results_.set_result(static_cast<int>(row), worker.engine, failure);
        }
      }
      worker.finished->store(true);
      unstarted->store(true);
      one_done(false);
    }
  }
  if (workers_.empty()) {
    if (recorder_) recorder_->run_ended(true);
    if (run_finished_) run_finished_(RunEnd::completed);
  }
  return started;
}

void RunSession::start_worker(Worker& worker, const RunRows& rows,
                              const std::function<void(bool stopped)>& one_done) {
  const Engine& engine = run_engines_[worker.engine];
  // Without sources of their own, every member asks through the session's pages.
  const WorkerSources sources =
      worker_sources_ ? worker_sources_
                      : WorkerSources([pages = result_pages_](const Engine&, const std::string&) {
                          return pages;
                        });
  std::function<void(std::stop_token)> work =
      [this, index = worker.engine, engine, rows, one_done, finished = worker.finished,
       rows_done = worker.rows_done, status = worker.status, page_seen = page_seen_,
       members = pool_members(engine, sources), recorder = recorder_,
       desk = verifications_](std::stop_token stop) {
        WorkerHooks hooks{.status = status.get()};
        if (desk) {
          hooks.verify = [&](const Verification& verification, std::stop_token token) {
            results_.set_waiting(index, true);
            const bool passed = desk->wait(index, verification, token);
            results_.set_waiting(index, false);
            return passed;
          };
        }
        if (page_seen) {
          hooks.page_seen = [&page_seen, index](const SeenPage& page) { page_seen(index, page); };
        }
        hooks.row_done = [&](int row, const RowResult& result) {
          results_.set_result(row, index, result);
          if (recorder) recorder->record(engine.key, row, result);
          ++*rows_done;
        };
        run_engine_pool(engine.profile, *rows, members, engine.pacing, engine.pool.failures, stop,
                        hooks);
        finished->store(true);
        one_done(stop.stop_requested());
      };
  worker.thread = start_thread_ ? start_thread_(std::move(work)) : std::jthread(std::move(work));
}

bool RunSession::engine_running(std::size_t engine) const {
  for (const Worker& worker : workers_) {
    if (worker.engine == engine) return worker.thread.joinable() && !worker.finished->load();
  }
  return false;
}

bool RunSession::running() const {
  return std::any_of(workers_.begin(), workers_.end(), [](const Worker& worker) {
    return worker.thread.joinable() && !worker.finished->load();
  });
}

int RunSession::rows_done(std::size_t engine) const {
  for (const Worker& worker : workers_) {
    if (worker.engine == engine) return worker.rows_done->load();
  }
  return 0;
}

RunSession::PoolCounts RunSession::pool_counts(std::size_t engine) const {
  for (const Worker& worker : workers_) {
    if (worker.engine == engine) {
      return {worker.status->working.load(), worker.status->resting.load(),
              worker.status->gone.load()};
    }
  }
  return {};
}

int RunSession::rows_ranked() const {
  int ranked = results_.row_count();
  for (const Worker& worker : workers_) ranked = std::min(ranked, worker.rows_done->load());
  return ranked;
}

}  // namespace quillrank
