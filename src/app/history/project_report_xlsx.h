// A project's report as an Excel workbook (libxlsxwriter): the visibility of each engine over its
// runs with a line chart per engine, the biggest moves, the keywords newly ranked and fallen out,
// and every keyword with its rank, the one before, its move and the rank of each of its runs.
#pragma once

#include <string>

#include "app/history/project_report.h"

namespace quillrank {

// The workbook's sheets, in order.
inline constexpr const char* kVisibilitySheet = "可见度";
inline constexpr const char* kMovesSheet = "变化最大";
inline constexpr const char* kNewAndLostSheet = "新进与跌出";
inline constexpr const char* kKeywordsSheet = "全部关键词";

// The workbook's bytes (an .xlsx file). The library writes it through temporary files in the
// temporary folder; std::runtime_error when it cannot.
std::string project_report_xlsx(const ProjectReport& report);

}  // namespace quillrank
