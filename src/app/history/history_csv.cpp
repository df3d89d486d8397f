#include "app/history/history_csv.h"

#include <SQLiteCpp/Transaction.h>

#include <array>
#include <charconv>
#include <map>
#include <set>
#include <tuple>

#include "engines/engines.h"

namespace quillrank {
namespace {

// A file written before runs had a project holds all but the last column.
constexpr std::array<std::string_view, 14> kColumns = {
    "run_started_ms", "run_state", "run_engines", "run_source", "site",
    "keyword",        "engine",    "text",        "rank",       "verdict",
    "reason",         "time_ms",   "address",     "run_project"};
constexpr std::size_t kOlderColumns = kColumns.size() - 1;
constexpr int kMaxRankRead = 10000;

std::string csv_field(std::string_view field) {
  std::string out = "\"";
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::optional<std::int64_t> integer(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The next record's fields from `at` on (RFC 4180: quoted fields may hold commas, quotes and
// line breaks); false at the end of the text or on a malformed quote.
bool next_record(std::string_view text, std::size_t& at, std::vector<std::string>& fields,
                 bool& malformed) {
  fields.clear();
  if (at >= text.size()) return false;
  std::string field;
  while (true) {
    if (at < text.size() && text[at] == '"') {
      for (++at;; ++at) {
        if (at >= text.size()) {
          malformed = true;
          return false;
        }
        if (text[at] == '"') {
          if (at + 1 < text.size() && text[at + 1] == '"') {
            field += '"';
            ++at;
          } else {
            ++at;
            break;
          }
        } else {
          field += text[at];
        }
      }
    } else {
      while (at < text.size() && text[at] != ',' && text[at] != '\n' && text[at] != '\r') {
        field += text[at++];
      }
    }
    fields.push_back(std::move(field));
    field.clear();
    if (at < text.size() && text[at] == ',') {
      ++at;
      continue;
    }
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') {
      ++at;
    } else if (at < text.size()) {
      malformed = true;  // text after a closing quote
      return false;
    }
    return true;
  }
}

std::optional<RunState> state_named(std::string_view name) {
  if (name == "completed") return RunState::completed;
  // A run the file caught while it went is no longer going here.
  if (name == "stopped" || name == "running") return RunState::stopped;
  return std::nullopt;
}

bool known_verdict(std::string_view verdict) {
  return verdict == "result" || verdict == "blocked" || verdict == "no_results" ||
         verdict == "failed" || verdict == "unrecognised";
}

// The cell and its run's fields of one line of a file of `columns` columns (a run of
// `older_project` when it has no run_project), or what is wrong.
std::variant<CsvRun, std::string> read_line(const std::vector<std::string>& f, std::size_t columns,
                                            const std::string& older_project) {
  if (f.size() != columns) {
    return "expected " + std::to_string(columns) + " fields, found " + std::to_string(f.size());
  }
  CsvRun run;
  const std::optional<std::int64_t> started = integer(f[0]);
  const std::optional<RunState> state = state_named(f[1]);
  const std::optional<std::int64_t> time = integer(f[11]);
  if (!started || !time) return "run_started_ms and time_ms must be whole numbers";
  if (!state) return "run_state must be completed, stopped or running";
  if (f[2].empty() || f[3].empty() || f[4].empty() || f[5].empty()) {
    return "run_engines, run_source, site and keyword cannot be empty";
  }
  if (!valid_engine_key(f[6])) return "engine '" + f[6] + "' is no engine key";
  if (!known_verdict(f[9])) return "verdict '" + f[9] + "' is unknown";
  std::optional<int> rank;
  if (!f[8].empty()) {
    const std::optional<std::int64_t> read = integer(f[8]);
    if (!read || *read < 1 || *read > kMaxRankRead) return "rank must be empty or 1 to 10000";
    rank = static_cast<int>(*read);
  }
  run.started_ms = *started;
  run.state = *state;
  run.engines = f[2];
  run.source = f[3];
  run.project = columns == kColumns.size() ? f[13] : older_project;
  run.cells.push_back({.site = f[4],
                       .keyword = f[5],
                       .engine = f[6],
                       .text = f[7],
                       .rank = rank,
                       .verdict = f[9],
                       .reason = f[10],
                       .time_ms = *time,
                       .address = f[12]});
  return run;
}

}  // namespace

std::string history_csv(const std::vector<HistoryRecord>& records,
                        const std::vector<RunRow>& runs) {
  std::map<std::int64_t, const RunRow*> by_id;
  for (const RunRow& run : runs) by_id[run.id] = &run;
  std::string out;
  for (const std::string_view column : kColumns) out += std::string(column) + ",";
  out.back() = '\n';
  for (const HistoryRecord& record : records) {
    const auto run = by_id.find(record.run_id);
    if (run == by_id.end()) continue;
    const CellRecord& cell = record.cell;
    const std::string fields[] = {std::to_string(record.run_started_ms),
                                  std::string(run_state_name(record.run_state)),
                                  run->second->engines,
                                  run->second->source,
                                  cell.site,
                                  cell.keyword,
                                  cell.engine,
                                  cell.text,
                                  cell.rank ? std::to_string(*cell.rank) : "",
                                  cell.verdict,
                                  cell.reason,
                                  std::to_string(cell.time_ms),
                                  cell.address,
                                  record.run_project};
    for (const std::string& field : fields) out += csv_field(field) + ",";
    out.back() = '\n';
  }
  return out;
}

std::variant<std::vector<CsvRun>, std::string> parse_history_csv(std::string_view text,
                                                                 const std::string& older_project) {
  if (text.size() > kMaxHistoryCsvBytes) return "line 0: larger than 512 MiB";
  std::vector<CsvRun> runs;
  std::vector<std::string> fields;
  std::size_t at = 0;
  bool malformed = false;
  std::size_t columns = kColumns.size();
  for (int line = 1; next_record(text, at, fields, malformed); ++line) {
    const std::string where = "line " + std::to_string(line) + ": ";
    if (line == 1) {
      columns = fields.size();
      if ((columns != kColumns.size() && columns != kOlderColumns) ||
          !std::equal(fields.begin(), fields.end(), kColumns.begin())) {
        return where + "not a history export (its header differs)";
      }
      continue;
    }
    auto read = read_line(fields, columns, older_project);
    if (auto* error = std::get_if<std::string>(&read)) return where + *error;
    CsvRun& cell = std::get<CsvRun>(read);
    const bool same_run = !runs.empty() && runs.back().started_ms == cell.started_ms &&
                          runs.back().engines == cell.engines &&
                          runs.back().source == cell.source && runs.back().state == cell.state &&
                          runs.back().project == cell.project;
    if (same_run) {
      runs.back().cells.push_back(std::move(cell.cells.front()));
    } else {
      runs.push_back(std::move(cell));
    }
  }
  if (malformed) return "a quote that is not closed, or text after a closing quote";
  if (runs.empty() && text.empty()) return "line 1: empty file";
  return runs;
}

ImportCounts import_history_runs(RankHistory& store, const std::vector<CsvRun>& runs) {
  std::set<std::tuple<std::int64_t, std::string, std::string>> present;
  for (const RunRow& run : store.runs()) present.emplace(run.started_ms, run.source, run.engines);
  ImportCounts counts;
  for (const CsvRun& run : runs) {
    if (!present.emplace(run.started_ms, run.source, run.engines).second) {
      ++counts.runs_present;
      continue;
    }
    store.transaction([&store, &run] {
      const std::int64_t id = store.add_run(run.started_ms, run.engines, run.source, run.project);
      std::int64_t ended = run.started_ms;
      for (const CellRecord& cell : run.cells) {
        store.add_cell(id, cell);
        ended = std::max(ended, cell.time_ms);
      }
      store.end_run(id, run.state, ended);
    });
    ++counts.runs_added;
    counts.cells_added += static_cast<int>(run.cells.size());
  }
  return counts;
}

}  // namespace quillrank
