// The texts an engine cell can read (GBK), named once for the run control that sets the first
// two and the worker that writes the rest.
#pragma once

#include <string_view>

namespace quillrank {

inline constexpr std::string_view kNotStartedText = "\xCE\xB4\xC6\xF4\xB6\xAF";        // 未启动
inline constexpr std::string_view kQueryingText = "\xB2\xE9\xD1\xAF\xD6\xD0\xA1\xAD";  // 查询中…
// A cell whose engine waits for a person to pass its verification.
inline constexpr std::string_view kWaitingText = "\xB5\xC8\xB4\xFD\xD1\xE9\xD6\xA4";  // 等待验证
inline constexpr std::string_view kNotFoundText =
    "\xC5\xC5\xD4\xDA"
    "300"
    "\xBA\xF3";  // 排在300后
inline constexpr std::string_view kQueryFailedText =
    "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC";                                       // 查询失败
inline constexpr std::string_view kBlockedText = "\xB1\xBB\xC0\xB9\xBD\xD8";  // 被拦截
inline constexpr std::string_view kUnrecognisedText =
    "\xD2\xB3\xC3\xE6\xCE\xDE\xB7\xA8\xCA\xB6\xB1\xF0";  // 页面无法识别
// A rank cell reads kRankOpen + the rank + kRankClose: "第N名".
inline constexpr std::string_view kRankOpen = "\xB5\xDA";   // 第
inline constexpr std::string_view kRankClose = "\xC3\xFB";  // 名

}  // namespace quillrank
