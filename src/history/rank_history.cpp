#include "history/rank_history.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "history/history_store.h"
#include "history/pg_history_store.h"

namespace quillrank {

std::string default_history_path() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data) + "/quillrank/history.sqlite3";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share/quillrank/history.sqlite3";
  return {};
}

std::string chosen_history_path(bool enabled, const std::string& configured) {
  if (!enabled) return {};
  return configured.empty() ? default_history_path() : configured;
}

bool is_postgres_location(std::string_view location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<RankHistory> open_history_for_writing(const std::string& location, int timeout_ms) {
  if (is_postgres_location(location)) {
    return std::make_unique<PgHistoryStore>(PgHistoryStore::open_for_writing(location, timeout_ms));
  }
  return std::make_unique<HistoryStore>(HistoryStore::open_for_writing(location, timeout_ms));
}

int rename_history_project(const std::string& location, const std::string& from,
                           const std::string& to, int timeout_ms) {
  std::error_code error;
  if (location.empty() ||
      (!is_postgres_location(location) && !std::filesystem::exists(location, error))) {
    return 0;
  }
  return open_history_for_writing(location, timeout_ms)->rename_project(from, to);
}

std::unique_ptr<RankHistory> open_history_for_reading(const std::string& location, int timeout_ms) {
  if (is_postgres_location(location)) {
    return std::make_unique<PgHistoryStore>(PgHistoryStore::open_for_reading(location, timeout_ms));
  }
  return std::make_unique<HistoryStore>(HistoryStore::open_for_reading(location, timeout_ms));
}

}  // namespace quillrank
