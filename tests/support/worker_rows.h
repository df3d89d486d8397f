// Rows for one engine's worker and the results it reports, kept as a test reads them.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_worker.h"

namespace quillrank::testing {

class WorkerRows {
 public:
  // Adds a row for `site` (bare, as a list gives it); returns its index.
  int add(std::string_view site, std::string_view keyword = "seo") {
    rows_.push_back({GbkText(site), GbkText(keyword), {}});
    results_.emplace_back();
    return static_cast<int>(rows_.size()) - 1;
  }

  // Runs the worker over the rows on this thread; `hooks` hear what the worker reports too.
  void run(const EngineProfile& profile, const PageSource& source, const EnginePacing& pacing,
           std::stop_token stop = {}, WorkerHooks hooks = {}) {
    auto heard = std::move(hooks.row_done);
    hooks.row_done = [this, &heard](int row, const RowResult& result) {
      {
        std::lock_guard lock(mutex_);
        results_[static_cast<std::size_t>(row)] = result;
      }
      if (heard) heard(row, result);
    };
    run_engine_worker(profile, rows_, source, pacing, stop, hooks);
  }

  // The row's result; nullopt while the worker has reported none.
  std::optional<RowResult> result(int row) const {
    std::lock_guard lock(mutex_);
    return results_[static_cast<std::size_t>(row)];
  }
  GbkText text(int row) const {
    const auto found = result(row);
    return found ? found->text : GbkText();
  }
  GbkText detail(int row) const {
    const auto found = result(row);
    return found ? found->detail : GbkText();
  }
  int size() const { return static_cast<int>(rows_.size()); }

 private:
  std::vector<QueryRow> rows_;
  mutable std::mutex mutex_;
  std::vector<std::optional<RowResult>> results_;
};

}  // namespace quillrank::testing
