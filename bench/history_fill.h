// A rank history database of a given size for the benchmarks: `runs` completed runs, each with
// a cell for `keywords` keywords of one site on Baidu and Google, written straight through the
// store in one transaction per run.
#pragma once

#include <SQLiteCpp/Transaction.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "history/history_store.h"

namespace quillrank::bench {

inline std::string fresh_history_path(const std::string& name) {
  const std::string path = std::filesystem::temp_directory_path().string() + "/quillrank-bench-" +
                           std::to_string(::getpid()) + "-" + name + ".sqlite3";
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  return path;
}

inline void remove_history(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

inline CellRecord bench_cell(int keyword, const char* engine, int run) {
  const int rank = 1 + (keyword * 7 + run * 3) % 40;
  return {.site = "shop.example",
          .keyword = "keyword " + std::to_string(keyword),
          .engine = engine,
          .text = "第" + std::to_string(rank) + "名",
          .rank = run % 10 == 9 ? std::nullopt : std::optional<int>(rank),
          .verdict = "result",
          .reason = "第1页找到",
          .time_ms = 1'700'000'000'000 + run * 86'400'000LL + keyword};
}

// `runs` daily runs of `keywords` keywords on two engines; the later half of the runs are of
// `project` (the earlier ones of none, as recorded before runs had a project).
inline void fill_history(const std::string& path, int runs, int keywords,
                         const std::string& project = {}) {
  HistoryStore store = HistoryStore::open_for_writing(path, 5000);
  for (int run = 0; run < runs; ++run) {
    SQLite::Transaction transaction(store.database());
    const std::int64_t id = store.add_run(1'700'000'000'000 + run * 86'400'000LL, "baidu,google",
                                          "batch", run < runs / 2 ? "" : project);
    for (int keyword = 0; keyword < keywords; ++keyword) {
      for (const char* engine : {"baidu", "google"}) {
        store.add_cell(id, bench_cell(keyword, engine, run));
      }
    }
    store.end_run(id, RunState::completed, 0);
    transaction.commit();
  }
}

}  // namespace quillrank::bench
