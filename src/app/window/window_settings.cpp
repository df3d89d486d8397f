#include "app/window/window_settings.h"

#include <QRegularExpression>

#include "app/window/desktop.h"
#include "app/window/main_window.h"
#include "history/history_store.h"
#include "settings/settings.h"

namespace quillrank {
namespace {

// The settings reader's wordings, each with its Chinese; %1, %2, %3 are the captures.
struct Wording {
  const char* english;
  const char* chinese;
};
constexpr Wording kWordings[] = {
    {R"(unknown key '(.*)')", "未知的键“%1”"},
    {R"(unknown engine '(.*)' \(use (.*), or set host to define a new engine\))",
     "未知的搜索引擎“%1”（可用 %2；或设置 host 来定义新的搜索引擎）"},
    {R"(engine key '(.*)' must be 1 to 32 of a-z, 0-9 and _, starting with a letter)",
     "搜索引擎的键“%1”必须是 1 到 32 个 a-z、0-9 或 _，并以字母开头"},
    {R"(engine\.(\S+) defines a new engine: set its link_prefix too)",
     "engine.%1 定义了新的搜索引擎：还须设置它的 link_prefix"},
    {R"((\S+) belongs in an engine's table, e\.g\. (.*))", "%1 只能写在搜索引擎的表中，例如 %2"},
    {R"((\S+) must be (-?\d+) to (-?\d+) seconds, MIN <= MAX)",
     "%1 必须是 %2 到 %3 秒，且 MIN 不大于 MAX"},
    {R"((\S+) must be (-?\d+) to (-?\d+) seconds)", "%1 必须是 %2 到 %3 秒"},
    {R"((\S+) must be (-?\d+) to (-?\d+))", "%1 必须是 %2 到 %3"},
    {R"((\S+) must be a whole number)", "%1 必须是整数"},
    {R"((\S+) must be a number of seconds)", "%1 必须是秒数"},
    {R"((\S+) must be a number or a "MIN-MAX" text)", "%1 必须是数字或“MIN-MAX”形式的文本"},
    {R"((\S+) must be a text)", "%1 必须是文本"},
    {R"((\S+) must not be empty)", "%1 不能为空"},
    {R"((.+) must be at most (\d+) bytes)", "%1 最多 %2 个字节"},
    {R"((.+) must not hold control characters)", "%1 不能含有控制字符"},
    {R"((\S+) must not hold blanks or control characters)", "%1 不能含有空格或控制字符"},
    {R"((\S+) must be a host name .*)", "%1 必须是主机名（字母、数字及 . - _ : [ ]）"},
    {R"((\S+) must be one of (.*))", "%1 必须是以下之一：%2"},
    {R"((\S+) must be a list of texts, none empty)", "%1 必须是文本的列表，且没有空文本"},
    {R"((\S+) must be a list of texts)", "%1 必须是文本的列表"},
    {R"((\S+) must hold at least one text)", "%1 至少要有一个文本"},
    {R"((\S+) must hold at most (\d+) texts)", "%1 最多 %2 个文本"},
    {R"((\S+) must hold at most (\d+) headers)", "%1 最多 %2 个请求头"},
    {R"((\S+) must be true or false)", "%1 必须是 true 或 false"},
    {R"((\S+) must be a file name text)", "%1 必须是文件名文本"},
    {R"((\S+) must be a table of engines)", "%1 必须是由搜索引擎组成的表"},
    {R"((\S+) must be a table of header names and texts)", "%1 必须是请求头名称到文本的表"},
    {R"((\S+) must map header names to texts)", "%1 必须把请求头名称对应到文本"},
    {R"((\S+) must be a table)", "%1 必须是表"},
    {R"(headers: '(.*)' is set by the program \(for the User-Agent use user_agent\))",
     "headers：“%1”由程序自己设置（User-Agent 请用 user_agent）"},
};

QString what_in_chinese(const QString& what) {
  for (const Wording& wording : kWordings) {
    const QRegularExpression english(
        QRegularExpression::anchoredPattern(QString::fromUtf8(wording.english)));
    const QRegularExpressionMatch match = english.match(what);
    if (!match.hasMatch()) continue;
    // In one pass, so a "%2" in a captured key stays as it is.
    const QString pattern = QString::fromUtf8(wording.chinese);
    QString chinese;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
      if (pattern[i] == QLatin1Char('%') && i + 1 < pattern.size() && pattern[i + 1].isDigit()) {
        chinese += match.captured(pattern[++i].digitValue());
      } else {
        chinese += pattern[i];
      }
    }
    return chinese;
  }
  return QStringLiteral("语法错误：") + what;
}

}  // namespace

QString settings_problem_in_chinese(const std::string& problem) {
  const QString text = QString::fromStdString(problem);
  static const QRegularExpression located(QStringLiteral(R"(^(.*):(\d+): (.*)$)"),
                                          QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = located.match(text);
  if (!match.hasMatch()) return text;
  const QString file = match.captured(1);
  const QString what = match.captured(3);
  if (match.captured(2) == QStringLiteral("0")) {
    return QStringLiteral("文件“%1”无法读取").arg(file);
  }
  return QStringLiteral("文件“%1”第 %2 行：%3").arg(file, match.captured(2), what_in_chinese(what));
}

void apply_settings_file(MainWindow& window, Desktop& desktop, const std::string& path) {
  if (path.empty()) return;
  const auto loaded = read_settings_file(path);
  if (const auto* settings = std::get_if<Settings>(&loaded)) {
    window.set_engines(settings->engines);
    window.set_history(chosen_history_path(settings->history, history_location(*settings)),
                       settings->history_read_only);
    window.set_run_end_command(settings->on_run_end);
    return;
  }
  window.set_engines(builtin_engines(kDefaultProfileSet));
  window.set_history(chosen_history_path(true, {}));
  desktop.warn(&window, QStringLiteral("设置文件"),
               QStringLiteral("设置文件有误，本次使用默认设置。\n\n%1")
                   .arg(settings_problem_in_chinese(std::get<std::string>(loaded))));
}

}  // namespace quillrank
