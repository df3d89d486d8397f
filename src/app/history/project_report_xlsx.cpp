#include "app/history/project_report_xlsx.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>

namespace quillrank {
namespace {

struct Formats {
  lxw_format* header;
  lxw_format* share;  // 12.5%
  lxw_format* time;   // 2026-03-01 08:00
  lxw_format* move;   // a signed number of places as the window marks it: ↑8, ↓6
};

Formats add_formats(lxw_workbook* book) {
  Formats formats{workbook_add_format(book), workbook_add_format(book), workbook_add_format(book),
                  workbook_add_format(book)};
  format_set_bold(formats.header);
  format_set_bg_color(formats.header, 0xF3F3F3);
  format_set_num_format(formats.share, "0.0%");
  format_set_num_format(formats.time, "yyyy-mm-dd hh:mm");
  format_set_num_format(formats.move, "\"↑\"0;\"↓\"0");
  return formats;
}

// A run's start in local time, as the HTML report and the window show it.
lxw_datetime local_time(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     static_cast<double>(local.tm_sec)};
}

void write_header(lxw_worksheet* sheet, std::initializer_list<const char*> titles,
                  const Formats& formats) {
  lxw_col_t col = 0;
  for (const char* title : titles) worksheet_write_string(sheet, 0, col++, title, formats.header);
  worksheet_freeze_panes(sheet, 1, 0);
}

// An unranked cell is left empty, so sums, sorting and the colour scale pass over it.
void write_rank(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col,
                const std::optional<int>& rank) {
  if (rank) worksheet_write_number(sheet, row, col, *rank, nullptr);
}

// Up as a positive number of places, down as a negative one (both drawn as ↑n ↓n); 新 and 落 as
// the window writes them.
void write_move(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col, const Movement& move,
                const Formats& formats) {
  switch (move.kind) {
    case Movement::Kind::up:
    case Movement::Kind::down:
      worksheet_write_number(sheet, row, col,
                             move.kind == Movement::Kind::up ? move.places : -move.places,
                             formats.move);
      break;
    case Movement::Kind::new_rank:
    case Movement::Kind::lost:
      worksheet_write_string(sheet, row, col, movement_mark(move).c_str(), nullptr);
      break;
    case Movement::Kind::none:
      break;
  }
}

// Site, keyword, engine, rank and the rank before, from column `col` on.
void write_keyword(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col, const KeywordTrend& trend) {
  worksheet_write_string(sheet, row, col, trend.site.c_str(), nullptr);
  worksheet_write_string(sheet, row, col + 1, trend.keyword.c_str(), nullptr);
  worksheet_write_string(sheet, row, col + 2, trend.engine.c_str(), nullptr);
  write_rank(sheet, row, col + 3, trend.rank);
  write_rank(sheet, row, col + 4, trend.previous);
}

// One row per run and engine (the engines one after the other, each oldest run first), and
// beside the rows a line chart per engine of its top 3 / 10 / 30 and ranked shares.
void write_visibility(lxw_workbook* book, lxw_worksheet* sheet, const ProjectReport& report,
                      const Formats& formats) {
  write_header(
      sheet, {"引擎", "时间", "单元", "前3名", "前10名", "前30名", "有排名", "被拦截", "查询失败"},
      formats);
  worksheet_set_column(sheet, 1, 1, 17, nullptr);
  worksheet_set_column(sheet, 3, 8, 9, nullptr);
  constexpr lxw_col_t kFirstShare = 3, kChartColumn = 10;
  constexpr lxw_row_t kChartRows = 16;
  const struct {
    const char* name;
    lxw_color_t color;
  } lines[] = {
      {"前3名", 0x2A7D2A}, {"前10名", 0x1F5FBF}, {"前30名", 0xE08A00}, {"有排名", 0x999999}};
  lxw_row_t row = 1;
  for (std::size_t e = 0; e < report.engines.size(); ++e) {
    const EngineVisibility& engine = report.engines[e];
    if (engine.runs.empty()) continue;
    const lxw_row_t first = row;
    for (const VisibilityPoint& run : engine.runs) {
      lxw_datetime started = local_time(run.started_ms);
      worksheet_write_string(sheet, row, 0, engine.engine.c_str(), nullptr);
      worksheet_write_datetime(sheet, row, 1, &started, formats.time);
      worksheet_write_number(sheet, row, 2, run.cells, nullptr);
      const int counts[] = {run.top3, run.top10, run.top30, run.ranked, run.blocked, run.failed};
      lxw_col_t col = kFirstShare;
      for (const int count : counts) {
        worksheet_write_number(sheet, row, col++, run.cells ? double(count) / run.cells : 0.0,
                               formats.share);
      }
      ++row;
    }
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_LINE);
    chart_title_set_name(chart, engine.engine.c_str());
    chart_axis_set_min(chart->y_axis, 0);
    chart_axis_set_max(chart->y_axis, 1);
    chart_axis_set_num_format(chart->y_axis, "0%");
    chart_axis_set_num_format(chart->x_axis, "yyyy-mm-dd");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
    for (lxw_col_t i = 0; i < std::size(lines); ++i) {
      lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
      chart_series_set_categories(series, kVisibilitySheet, first, 1, row - 1, 1);
      chart_series_set_values(series, kVisibilitySheet, first, kFirstShare + i, row - 1,
                              kFirstShare + i);
      chart_series_set_name(series, lines[i].name);
      lxw_chart_line line{};
      line.color = lines[i].color;
      line.width = 1.75;
      chart_series_set_line(series, &line);
    }
    worksheet_insert_chart(sheet, 1 + lxw_row_t(e) * kChartRows, kChartColumn, chart);
  }
}

// The biggest moves up, then down (the change signed: up positive); then those newly ranked and
// those that fell out, on a sheet of their own.
void write_moves(lxw_worksheet* moved, lxw_worksheet* new_and_lost, const ProjectReport& report,
                 const Formats& formats) {
  const ReportMoves moves = report_moves(report);
  write_header(moved, {"方向", "网站", "关键词", "引擎", "排名", "之前", "变化"}, formats);
  write_header(new_and_lost, {"类别", "网站", "关键词", "引擎", "排名", "之前"}, formats);
  const struct {
    lxw_worksheet* sheet;
    const char* label;
    const std::vector<const KeywordTrend*>& rows;
  } lists[] = {{moved, "上升", moves.up},
               {moved, "下降", moves.down},
               {new_and_lost, "新进排名", moves.fresh},
               {new_and_lost, "跌出排名", moves.lost}};
  lxw_row_t row = 0;
  for (std::size_t i = 0; i < std::size(lists); ++i) {
    if (i == 2) row = 0;
    for (const KeywordTrend* trend : lists[i].rows) {
      worksheet_write_string(lists[i].sheet, ++row, 0, lists[i].label, nullptr);
      write_keyword(lists[i].sheet, row, 1, *trend);
      if (lists[i].sheet == moved) write_move(moved, row, 6, trend->move, formats);
    }
  }
  for (lxw_worksheet* sheet : {moved, new_and_lost}) worksheet_set_column(sheet, 1, 2, 24, nullptr);
}

// Every keyword and engine, then the rank of each of its runs, oldest first, coloured from
// green (rank 1) to red (the worst rank of the sheet) so the rows read as trend lines. A sheet
// has 16,384 columns: of a longer line, the latest runs that fit.
void write_keywords(lxw_worksheet* sheet, const ProjectReport& report, const Formats& formats) {
  constexpr lxw_col_t kFirstRun = 6;
  constexpr std::size_t kMaxRuns = 16384 - kFirstRun;
  std::size_t all = 0;
  for (const KeywordTrend& trend : report.keywords) all = std::max(all, trend.ranks.size());
  const std::size_t runs = std::min(all, kMaxRuns);
  write_header(sheet, {"网站", "关键词", "引擎", "排名", "之前", "变化"}, formats);
  for (std::size_t i = 0; i < runs; ++i) {
    const std::string title = "第" + std::to_string(all - runs + i + 1) + "次";
    worksheet_write_string(sheet, 0, kFirstRun + lxw_col_t(i), title.c_str(), formats.header);
  }
  worksheet_freeze_panes(sheet, 1, kFirstRun);
  worksheet_set_column(sheet, 0, 1, 24, nullptr);
  if (runs) worksheet_set_column(sheet, kFirstRun, kFirstRun + lxw_col_t(runs) - 1, 5, nullptr);
  lxw_row_t row = 0;
  for (const KeywordTrend& trend : report.keywords) {
    write_keyword(sheet, ++row, 0, trend);
    write_move(sheet, row, 5, trend.move, formats);
    const std::size_t skipped = trend.ranks.size() - std::min(trend.ranks.size(), kMaxRuns);
    for (std::size_t i = skipped; i < trend.ranks.size(); ++i) {
      write_rank(sheet, row, kFirstRun + lxw_col_t(i - skipped), trend.ranks[i]);
    }
  }
  if (row == 0 || runs == 0) return;
  worksheet_autofilter(sheet, 0, 0, row, kFirstRun - 1);
  lxw_conditional_format scale{};
  scale.type = LXW_CONDITIONAL_3_COLOR_SCALE;
  scale.min_color = 0x63BE7B;
  scale.mid_color = 0xFFEB84;
  scale.max_color = 0xF8696B;
  worksheet_conditional_format_range(sheet, 1, kFirstRun, row, kFirstRun + lxw_col_t(runs) - 1,
                                     &scale);
}

}  // namespace

std::string project_report_xlsx(const ProjectReport& report) {
  std::string file = (std::filesystem::temp_directory_path() / "quillrank-report-XXXXXX").string();
  const int fd = mkstemp(file.data());
  if (fd < 0) throw std::runtime_error("cannot write the workbook: no temporary file");
  close(fd);
  // Rows are written in order, so each sheet goes to disk row by row instead of staying in
  // memory (a year of daily runs is hundreds of thousands of cells).
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(file.c_str(), &options);
  if (!book) {
    std::filesystem::remove(file);
    throw std::runtime_error("cannot write the workbook: out of memory");
  }
  std::string title = "项目 " + report.project + " 排名报告", period = report.period;
  lxw_doc_properties properties{};
  properties.title = title.data();
  properties.subject = period.data();
  workbook_set_properties(book, &properties);
  const Formats formats = add_formats(book);
  lxw_worksheet* sheets[] = {
      workbook_add_worksheet(book, kVisibilitySheet), workbook_add_worksheet(book, kMovesSheet),
      workbook_add_worksheet(book, kNewAndLostSheet), workbook_add_worksheet(book, kKeywordsSheet)};
  const bool complete = std::all_of(std::begin(sheets), std::end(sheets),
                                    [](lxw_worksheet* sheet) { return sheet != nullptr; });
  if (complete) {
    write_visibility(book, sheets[0], report, formats);
    write_moves(sheets[1], sheets[2], report, formats);
    write_keywords(sheets[3], report, formats);
  }
  const lxw_error closed = workbook_close(book);
  std::string bytes;
  if (closed == LXW_NO_ERROR && complete) {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  if (bytes.empty()) {
    throw std::runtime_error(std::string("cannot write the workbook: ") +
                             (complete ? lxw_strerror(closed) : "no temporary file for a sheet"));
  }
  return bytes;
}

}  // namespace quillrank
