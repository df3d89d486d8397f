// The batch command's --save-pages DIR: every page a worker judged, as the engine sent it, and
// an index of them, so a user can see what an engine answered and why a cell reads as it does.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <variant>

#include "engines/engine_worker.h"
#include "text/mutex.h"

namespace quillrank {

class SavedPages {
 public:
  // Creates the folder when missing and starts DIR/index.tsv; the reason when that failed.
  static std::variant<std::unique_ptr<SavedPages>, std::string> open(const std::string& folder);

  // Writes DIR/<engine key>-<row>-<page>.html (row and page from 1; with "-<host>_<port>" of
  // the pool member that asked, when the engine has several) and its index line: engine, row,
  // page, URL, HTTP status, final URL, verdict, reason, member. Any worker's thread.
  // After the first write that fails (a full disk) nothing more is saved; see failure().
  void save(std::string_view engine_key, const SeenPage& page);

  // Why saving stopped, or empty while every page was saved.
  std::string failure() const;

 private:
  explicit SavedPages(std::string folder, std::ofstream index)
      : folder_(std::move(folder)), index_(std::move(index)) {}

  const std::string folder_;
  mutable Mutex mutex_;
  std::ofstream index_ GUARDED_BY(mutex_);
  std::string failure_ GUARDED_BY(mutex_);
};

}  // namespace quillrank
