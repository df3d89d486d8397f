// The settings file as the window reads it at start-up.
#pragma once

#include <QString>
#include <string>

namespace quillrank {

class Desktop;
class MainWindow;

// Reads the settings file at `path` into the window's runs (the engines with their profiles and
// pacing, the rank history, the on_run_end command). A missing file gives the defaults; a file with
// an error brings one warning in Chinese naming the file and the line, and the window runs on the
// defaults.
void apply_settings_file(MainWindow& window, Desktop& desktop, const std::string& path);

// A settings file problem as the settings reader words it ("file:line: what is wrong", in
// English for the command line) in Chinese: "文件“file”第 line 行：" and what is wrong. A TOML
// syntax error keeps the parser's own English words after "语法错误：".
QString settings_problem_in_chinese(const std::string& problem);

}  // namespace quillrank
