// The settings file at the window's start, and what the window shows of a cell's detail.
#include "app/window/window_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>

#include "support/run_program.h"
#include "text/text_codec.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

std::string settings_file(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + "quillrank-window-" + name;
  write_file(path, text);
  return path;
}

TEST(ApplySettingsFile, PacesTheRunsWithTheFilesValues) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  apply_settings_file(*window, desktop,
                      settings_file("good.toml", "[engine.sogou]\nretries = 4\n"));
  EXPECT_EQ(window->run_control().pacing()[2].retries, 4);
  EXPECT_EQ(window->run_control().pacing()[0].retries, 1);
  EXPECT_TRUE(desktop.warnings.empty());
}

// The caption of engine `engine`'s check box and of its result column.
std::pair<QString, QString> captions(MainWindow& window, std::size_t engine) {
  return {window.controls().engines[engine]->text(),
          window.model().headerData(kEngines[engine].column, Qt::Horizontal).toString()};
}

TEST(ApplySettingsFile, NamesTheEnginesAndRanksWithTheFilesProfiles) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  apply_settings_file(
      *window, desktop,
      settings_file("names.toml", "[engine.google]\nname = '谷歌'\nscheme = 'https'\n"));
  EXPECT_EQ(captions(*window, 1), std::pair(QStringLiteral("谷歌查询"), QStringLiteral("谷歌")));
  EXPECT_EQ(captions(*window, 0), std::pair(QStringLiteral("Baidu查询"), QStringLiteral("Baidu")));
  EXPECT_EQ(window->run_control().profiles()[1].scheme, "https");

  // A wrong file afterwards: one warning, and the built-in names and profiles again.
  apply_settings_file(*window, desktop,
                      settings_file("wrong.toml", "[engine.google]\nname = 'G'\npage_size = 0\n"));
  ASSERT_EQ(desktop.warnings.size(), 1u);
  EXPECT_TRUE(desktop.warnings[0].text.contains(QStringLiteral(":3: page_size must be 1 to 1000")));
  EXPECT_EQ(captions(*window, 1),
            std::pair(QStringLiteral("Google查询"), QStringLiteral("Google")));
  EXPECT_EQ(window->run_control().profiles(), builtin_profiles(kDefaultProfileSet));
}

TEST(ApplySettingsFile, WarnsOnceNamingFileAndLineAndRunsOnTheDefaults) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  const std::string path = settings_file("bad.toml", "retries = 2\ndelay = \"9-1\"\n");
  apply_settings_file(*window, desktop, path);
  ASSERT_EQ(desktop.warnings.size(), 1u);
  EXPECT_TRUE(desktop.warnings[0].text.startsWith(QStringLiteral("设置文件有误")));
  EXPECT_TRUE(desktop.warnings[0].text.contains(QString::fromStdString(path + ":2: ")))
      << desktop.warnings[0].text.toStdString();
  EXPECT_EQ(window->run_control().pacing()[0].retries, 1);
}

TEST(ResultTableModel, ShowsACellsDetailAsItsTooltip) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  ResultTable& table = window->table();
  table.insert_row(-1, "http://a.example");
  table.set_cell_text(0, 2, utf8_to_gbk_text("被拦截"), utf8_to_gbk_text("第1页：HTTP 403"));
  window->model().flush();
  const QAbstractItemModel& model = window->model();
  EXPECT_EQ(model.data(model.index(0, 2), Qt::ToolTipRole).toString(),
            QStringLiteral("第1页：HTTP 403"));
  EXPECT_FALSE(model.data(model.index(0, 3), Qt::ToolTipRole).isValid());
}

}  // namespace
}  // namespace quillrank::testing
