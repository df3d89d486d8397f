#include "app/history/project_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace quillrank {
namespace {

std::string html(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string percent(int part, int whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * part / whole : 0.0);
  return text;
}

// `value` with one decimal ("12.5"); the trend lines of a year hold hundreds of thousands.
std::string number(double value) {
  const long tenths = std::lround(value * 10);
  char text[24];
  char* end = std::to_chars(text, text + sizeof text - 2, tenths / 10).ptr;
  *end++ = '.';
  *end++ = static_cast<char>('0' + std::labs(tenths % 10));
  return std::string(text, end);
}

std::string date_of(std::int64_t ms) { return format_time(ms).substr(0, 10); }

// Visibility over the runs as an SVG line chart: one line per share, 0 to 100 %.
std::string visibility_chart(const EngineVisibility& engine) {
  constexpr int kWidth = 640, kHeight = 220, kLeft = 44, kRight = 12, kTop = 12, kBottom = 28;
  const int plot_w = kWidth - kLeft - kRight, plot_h = kHeight - kTop - kBottom;
  const std::size_t n = engine.runs.size();
  const auto x = [&](std::size_t i) {
    return kLeft + (n > 1 ? plot_w * double(i) / (n - 1) : plot_w / 2.0);
  };
  const auto y = [&](int part, int whole) {
    return kTop + plot_h * (1.0 - (whole ? double(part) / whole : 0.0));
  };
  std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                    std::to_string(kHeight) + "\" role=\"img\">";
  for (const int share : {0, 25, 50, 75, 100}) {
    const std::string at = number(kTop + plot_h * (1.0 - share / 100.0));
    svg += "<line x1=\"" + std::to_string(kLeft) + "\" x2=\"" + std::to_string(kWidth - kRight) +
           "\" y1=\"" + at + "\" y2=\"" + at + "\" class=\"grid\"/><text x=\"" +
           std::to_string(kLeft - 4) + "\" y=\"" + at + "\" class=\"axis\" text-anchor=\"end\">" +
           std::to_string(share) + "%</text>";
  }
  if (n > 0) {
    svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kHeight - 8) +
           "\" class=\"axis\">" + date_of(engine.runs.front().started_ms) + "</text><text x=\"" +
           std::to_string(kWidth - kRight) + "\" y=\"" + std::to_string(kHeight - 8) +
           "\" class=\"axis\" text-anchor=\"end\">" + date_of(engine.runs.back().started_ms) +
           "</text>";
  }
  const struct {
    const char* css;
    int VisibilityPoint::*count;
  } lines[] = {{"s3", &VisibilityPoint::top3},
               {"s10", &VisibilityPoint::top10},
               {"s30", &VisibilityPoint::top30},
               {"sr", &VisibilityPoint::ranked}};
  for (const auto& line : lines) {
    std::string points;
    for (std::size_t i = 0; i < n; ++i) {
      const VisibilityPoint& run = engine.runs[i];
      points += number(x(i)) + "," + number(y(run.*line.count, run.cells)) + " ";
    }
    svg += "<polyline class=\"" + std::string(line.css) + "\" points=\"" + points + "\"/>";
    if (n == 1) {
      svg += "<circle class=\"" + std::string(line.css) + "\" cx=\"" + number(x(0)) + "\" cy=\"" +
             number(y(engine.runs[0].*line.count, engine.runs[0].cells)) + "\" r=\"3\"/>";
    }
  }
  return svg + "</svg>";
}

// A small trend line: rank 1 at the top, the worst rank seen (or unranked) at the bottom.
std::string sparkline(const std::vector<std::optional<int>>& ranks) {
  constexpr int kWidth = 120, kHeight = 22;
  int worst = 1;
  for (const auto& rank : ranks) worst = std::max(worst, rank.value_or(1));
  std::string points;
  for (std::size_t i = 0; i < ranks.size(); ++i) {
    const double x =
        ranks.size() > 1 ? 2 + (kWidth - 4) * double(i) / (ranks.size() - 1) : kWidth / 2.0;
    const double y =
        ranks[i] ? 2 + (kHeight - 6) * double(*ranks[i] - 1) / std::max(1, worst - 1) : kHeight - 1;
    points += number(x) + "," + number(y) + " ";
  }
  return "<svg class=\"spark\" width=\"" + std::to_string(kWidth) + "\" height=\"" +
         std::to_string(kHeight) + "\"><polyline points=\"" + points + "\"/></svg>";
}

std::string rank_text(const std::optional<int>& rank) { return rank ? std::to_string(*rank) : "–"; }

std::string move_cell(const Movement& move) {
  const char* css = move.kind == Movement::Kind::up || move.kind == Movement::Kind::new_rank
                        ? "up"
                        : (move.kind == Movement::Kind::none ? "" : "down");
  return "<td class=\"" + std::string(css) + "\">" + html(movement_mark(move)) + "</td>";
}

std::string movers_table(const std::string& title, const std::vector<const KeywordTrend*>& rows) {
  std::string out = "<h3>" + title + " (" + std::to_string(rows.size()) + ")</h3>";
  if (rows.empty()) return out + "<p class=\"none\">—</p>";
  out +=
      "<table><tr><th>网站</th><th>关键词</th><th>引擎</th><th>排名</th><th>之前</th><th>变化</"
      "th></tr>";
  for (const KeywordTrend* row : rows) {
    out += "<tr><td>" + html(row->site) + "</td><td>" + html(row->keyword) + "</td><td>" +
           html(row->engine) + "</td><td>" + rank_text(row->rank) + "</td><td>" +
           rank_text(row->previous) + "</td>" + move_cell(row->move) + "</tr>";
  }
  return out + "</table>";
}

constexpr const char* kStyle =
    "body{font:14px/1.4 sans-serif;margin:24px;color:#222}h1{font-size:22px}"
    "h2{font-size:18px;margin-top:28px;border-bottom:1px solid #ccc}h3{font-size:15px}"
    "table{border-collapse:collapse;margin:8px 0}td,th{border:1px solid #ddd;padding:2px 8px;"
    "text-align:left}th{background:#f3f3f3}.chart{width:640px;height:220px;display:block}"
    ".grid{stroke:#e5e5e5}.axis{font-size:11px;fill:#666}polyline{fill:none;stroke-width:2}"
    ".s3{stroke:#2a7d2a;fill:#2a7d2a}.s10{stroke:#1f5fbf;fill:#1f5fbf}.s30{stroke:#e08a00;fill:#"
    "e08a00}"
    ".sr{stroke:#999;fill:#999}.chart polyline{fill:none}.spark "
    "polyline{stroke:#1f5fbf;stroke-width:1.5}.up{color:#2a7d2a}"
    ".down{color:#c0392b}.legend span{margin-right:14px}.key{display:inline-block;width:18px;"
    "height:3px;vertical-align:middle;margin-right:4px}.none{color:#888}";

}  // namespace

std::vector<HistoryRecord> records_of_pairs(RankHistory& store, const std::string& project,
                                            const std::set<SitePair>& pairs) {
  constexpr std::size_t kPairsReadOneByOne = 100;
  const auto of_project = [&project](const HistoryRecord& record) {
    return !project.empty() && record.run_project == project;
  };
  if (pairs.size() > kPairsReadOneByOne) {
    std::unordered_set<std::string> wanted;
    for (const auto& [site, keyword] : pairs) wanted.insert(site + '\0' + keyword);
    std::vector<HistoryRecord> records;
    std::string key;
    store.visit_records({}, [&](HistoryRecord&& record) {
      if (!of_project(record)) {
        if (!record.run_project.empty()) return;
        key.assign(record.cell.site).append(1, '\0').append(record.cell.keyword);
        if (!wanted.contains(key)) return;
      }
      records.push_back(std::move(record));
    });
    return records;
  }
  std::vector<HistoryRecord> records =
      project.empty() ? std::vector<HistoryRecord>() : store.records({.project = project});
  for (const auto& [site, keyword] : pairs) {
    for (HistoryRecord& record :
         store.records({.site = site, .keyword = keyword, .project = std::string()})) {
      records.push_back(std::move(record));
    }
  }
  // The project's runs, then pair by pair: back into the order of the runs, each run's cells in
  // their order.
  std::stable_sort(
      records.begin(), records.end(),
      [](const HistoryRecord& a, const HistoryRecord& b) { return a.run_id < b.run_id; });
  return records;
}

ProjectReport build_project_report(const std::vector<HistoryRecord>& records,
                                   const std::string& project, std::int64_t from_ms,
                                   std::int64_t to_ms) {
  ProjectReport report{.project = project};
  std::map<std::string, std::map<std::int64_t, VisibilityPoint>> engines;
  std::unordered_map<std::string, std::size_t> lines;  // site, keyword and engine to its line
  // Each line's cells, one per run, oldest first (the history gives them in that order).
  std::vector<std::vector<const HistoryRecord*>> cells;
  std::string key;
  for (const HistoryRecord& record : records) {
    if (record.run_started_ms < from_ms || record.run_started_ms > to_ms) continue;
    const CellRecord& cell = record.cell;
    VisibilityPoint& point = engines[cell.engine][record.run_started_ms];
    point.run_id = record.run_id;
    point.started_ms = record.run_started_ms;
    ++point.cells;
    const int rank = cell.rank.value_or(0);
    point.top3 += rank >= 1 && rank <= 3;
    point.top10 += rank >= 1 && rank <= 10;
    point.top30 += rank >= 1 && rank <= 30;
    point.ranked += rank >= 1;
    point.blocked += cell.verdict == "blocked";
    point.failed += cell.verdict == "failed" || cell.verdict == "unrecognised";
    key.assign(cell.site).append(1, '\0').append(cell.keyword).append(1, '\0').append(cell.engine);
    const auto [at, added] = lines.try_emplace(key, report.keywords.size());
    if (added) {
      report.keywords.push_back({.site = cell.site,
                                 .keyword = cell.keyword,
                                 .engine = cell.engine,
                                 .rank = {},
                                 .previous = {},
                                 .move = {},
                                 .ranks = {}});
      cells.emplace_back();
    }
    cells[at->second].push_back(&record);
  }
  for (auto& [engine, runs] : engines) {
    EngineVisibility series{.engine = engine, .runs = {}};
    for (const auto& [started, point] : runs) series.runs.push_back(point);
    report.engines.push_back(std::move(series));
  }
  const auto older = [](const HistoryRecord* a, const HistoryRecord* b) {
    return a->run_started_ms < b->run_started_ms;
  };
  for (std::size_t i = 0; i < report.keywords.size(); ++i) {
    std::vector<const HistoryRecord*>& line = cells[i];
    std::stable_sort(line.begin(), line.end(), older);
    KeywordTrend& trend = report.keywords[i];
    trend.ranks.reserve(line.size());
    for (const HistoryRecord* record : line) trend.ranks.push_back(record->cell.rank);
    const HistoryRecord& last = *line.back();
    trend.rank = last.cell.rank;
    if (line.size() > 1) {
      trend.previous = line[line.size() - 2]->cell.rank;
      trend.move = movement(trend.rank, trend.previous);
      const bool answered = last.cell.verdict == "result" || last.cell.verdict == "no_results";
      if (!trend.rank && trend.previous && answered) trend.move = {Movement::Kind::lost, 0};
    }
  }
  return report;
}

ReportMoves report_moves(const ProjectReport& report) {
  ReportMoves moves;
  for (const KeywordTrend& trend : report.keywords) {
    switch (trend.move.kind) {
      case Movement::Kind::up:
        moves.up.push_back(&trend);
        break;
      case Movement::Kind::down:
        moves.down.push_back(&trend);
        break;
      case Movement::Kind::new_rank:
        moves.fresh.push_back(&trend);
        break;
      case Movement::Kind::lost:
        moves.lost.push_back(&trend);
        break;
      case Movement::Kind::none:
        break;
    }
  }
  for (auto* rows : {&moves.up, &moves.down}) {
    std::stable_sort(rows->begin(), rows->end(), [](const KeywordTrend* a, const KeywordTrend* b) {
      return a->move.places > b->move.places;
    });
    if (rows->size() > ReportMoves::kBiggestMoves) rows->resize(ReportMoves::kBiggestMoves);
  }
  return moves;
}

std::string project_report_html(const ProjectReport& report) {
  std::string out = "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
                    html(report.project) + " 排名报告</title><style>" + kStyle +
                    "</style></head><body><h1>项目 " + html(report.project) + " 排名报告</h1><p>" +
                    html(report.period) + "</p>";
  out +=
      "<h2>可见度</h2><p class=\"legend\">"
      "<span><i class=\"key\" style=\"background:#2a7d2a\"></i>前3名</span>"
      "<span><i class=\"key\" style=\"background:#1f5fbf\"></i>前10名</span>"
      "<span><i class=\"key\" style=\"background:#e08a00\"></i>前30名</span>"
      "<span><i class=\"key\" style=\"background:#999\"></i>有排名</span></p>";
  for (const EngineVisibility& engine : report.engines) {
    out += "<h3>" + html(engine.engine) + "</h3>" + visibility_chart(engine);
  }
  const ReportMoves moves = report_moves(report);
  out += "<h2>变化最大</h2>" + movers_table("上升", moves.up) + movers_table("下降", moves.down) +
         movers_table("新进排名", moves.fresh) + movers_table("跌出排名", moves.lost);
  out +=
      "<h2>全部关键词</h2><table><tr><th>网站</th><th>关键词</th><th>引擎</th><th>排名</th>"
      "<th>变化</th><th>走势</th></tr>";
  for (const KeywordTrend& trend : report.keywords) {
    out += "<tr><td>" + html(trend.site) + "</td><td>" + html(trend.keyword) + "</td><td>" +
           html(trend.engine) + "</td><td>" + rank_text(trend.rank) + "</td>" +
           move_cell(trend.move) + "<td>" + sparkline(trend.ranks) + "</td></tr>";
  }
  out +=
      "</table><h2>每次查询的拦截与失败</h2><table><tr><th>引擎</th><th>时间</th><th>单元</th>"
      "<th>被拦截</th><th>查询失败</th></tr>";
  for (const EngineVisibility& engine : report.engines) {
    for (const VisibilityPoint& run : engine.runs) {
      out += "<tr><td>" + html(engine.engine) + "</td><td>" + html(format_time(run.started_ms)) +
             "</td><td>" + std::to_string(run.cells) + "</td><td>" +
             percent(run.blocked, run.cells) + "</td><td>" + percent(run.failed, run.cells) +
             "</td></tr>";
    }
  }
  return out + "</table></body></html>\n";
}

std::optional<std::int64_t> parse_report_date(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char end = 0;
  if (text.size() != 10 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) != 3) {
    return std::nullopt;
  }
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&time);
  if (seconds == -1 || time.tm_mday != day || time.tm_mon != month - 1) return std::nullopt;
  return static_cast<std::int64_t>(seconds) * 1000;
}

}  // namespace quillrank
