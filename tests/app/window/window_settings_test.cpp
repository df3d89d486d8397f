// The settings file at the window's start, and what the window shows of a cell's detail.
#include "app/window/window_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/window/result_export.h"
#include "settings/settings.h"
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
  EXPECT_EQ(window->engines()[2].pacing.retries, 4);
  EXPECT_EQ(window->engines()[0].pacing.retries, 1);
  EXPECT_EQ(window->session().engines(), window->engines());
  EXPECT_TRUE(desktop.warnings.empty());
}

// The caption of engine `engine`'s check box and of its result column.
std::pair<QString, QString> captions(MainWindow& window, std::size_t engine) {
  return {window.controls().engines[engine]->text(),
          window.model().headerData(engine_column(engine), Qt::Horizontal).toString()};
}

TEST(ApplySettingsFile, NamesTheEnginesAndRanksWithTheFilesProfiles) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  apply_settings_file(
      *window, desktop,
      settings_file("names.toml", "[engine.google]\nname = '谷歌'\nscheme = 'https'\n"));
  EXPECT_EQ(captions(*window, 1), std::pair(QStringLiteral("谷歌查询"), QStringLiteral("谷歌")));
  EXPECT_EQ(captions(*window, 0), std::pair(QStringLiteral("Baidu查询"), QStringLiteral("Baidu")));
  EXPECT_EQ(window->engines()[1].profile.scheme, "https");

  // A wrong file afterwards: one warning, and the built-in names and profiles again.
  apply_settings_file(*window, desktop,
                      settings_file("wrong.toml", "[engine.google]\nname = 'G'\npage_size = 0\n"));
  ASSERT_EQ(desktop.warnings.size(), 1u);
  EXPECT_TRUE(
      desktop.warnings[0].text.contains(QStringLiteral("第 3 行：page_size 必须是 1 到 1000")))
      << desktop.warnings[0].text.toStdString();
  EXPECT_EQ(captions(*window, 1),
            std::pair(QStringLiteral("Google查询"), QStringLiteral("Google")));
  EXPECT_EQ(window->engines(), builtin_engines(kDefaultProfileSet));
}

TEST(ApplySettingsFile, WarnsOnceNamingFileAndLineAndRunsOnTheDefaults) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  const std::string path = settings_file("bad.toml", "retries = 2\ndelay = \"9-1\"\n");
  apply_settings_file(*window, desktop, path);
  ASSERT_EQ(desktop.warnings.size(), 1u);
  EXPECT_TRUE(desktop.warnings[0].text.startsWith(QStringLiteral("设置文件有误")));
  EXPECT_TRUE(desktop.warnings[0].text.contains(
      QStringLiteral("文件“%1”第 2 行：delay 必须是 0 到 3600 秒，且 MIN 不大于 MAX")
          .arg(QString::fromStdString(path))))
      << desktop.warnings[0].text.toStdString();
  EXPECT_EQ(window->engines()[0].pacing.retries, 1);
}

// Engines the file defines get a check box each among the others, a result column and an
// export column pair, all captioned with their names; the window grows to hold the boxes.
TEST(ApplySettingsFile, GivesEachEngineTheFileDefinesACheckBoxAndAColumn) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  window->show();
  const QSize first = window->size();
  apply_settings_file(
      *window, desktop,
      settings_file("extra.toml",
                    "profiles = 'classic'\n"
                    "[engine.yandex]\nhost = 'yandex.example'\nname = '甲搜'\n"
                    "link_prefix = ' href='\n"
                    "[engine.ask]\nhost = 'ask.example'\nlink_prefix = ' href='\n"));
  ASSERT_TRUE(desktop.warnings.empty()) << desktop.warnings[0].text.toStdString();
  ASSERT_EQ(window->engines().size(), 6u);
  EXPECT_EQ(window->model().columnCount(), 8);
  EXPECT_EQ(captions(*window, 4), std::pair(QStringLiteral("甲搜查询"), QStringLiteral("甲搜")));
  EXPECT_EQ(captions(*window, 5), std::pair(QStringLiteral("ask查询"), QStringLiteral("ask")));
  EXPECT_EQ(captions(*window, 3), std::pair(QStringLiteral("Soso查询"), QStringLiteral("Soso")));
  EXPECT_EQ(window->controls().engines[3]->objectName(), QStringLiteral("选中搜搜"));
  EXPECT_EQ(window->controls().engines[4]->objectName(), QStringLiteral("选中yandex"));
  EXPECT_EQ(window->controls().engines[5]->objectName(), QStringLiteral("选中ask"));
  EXPECT_FALSE(window->controls().engines[4]->isChecked()) << "a new engine starts unticked";

  // The boxes stand in the engine group, below the first four, and nothing covers another.
  const QRect group = window->controls().engine_group->rect();
  for (std::size_t engine = 4; engine < 6; ++engine) {
    const QCheckBox* box = window->controls().engines[engine];
    EXPECT_TRUE(group.contains(box->geometry())) << engine;
    EXPECT_GE(box->y(), window->controls().engines[0]->geometry().bottom()) << engine;
  }
  EXPECT_GT(window->height(), first.height());
  EXPECT_EQ(window->minimumSize(), window->size());
  EXPECT_GE(window->controls().start_button->y(),
            window->controls().engine_group->geometry().bottom());

  // A run's export has a text and a rank column for each of them.
  const std::vector<std::vector<std::string>> lines =
      result_export_lines(window->results(), window->engines(), QDateTime());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].size(), 3u + 2 * 6);
  EXPECT_EQ(lines[0][11], "甲搜");
  EXPECT_EQ(lines[0][14], "ask排名");
}

// Every problem the settings reader words, read from real files, comes out in Chinese; only a
// TOML syntax error keeps the parser's English, behind a Chinese lead.
TEST(SettingsProblemInChinese, SaysEveryProblemOfTheReaderInChinese) {
  const struct {
    const char* file;
    const char* chinese;
  } cases[] = {
      {"colour = 1\n", "第 1 行：未知的键“colour”"},
      {"[engine.bing]\n",
       "第 1 行：未知的搜索引擎“bing”（可用 baidu, google, sogou, soso, baidu_mobile, so360, "
       "bing_cn；或设置 host 来定义新的搜索引擎）"},
      {"[engine.Bing]\nhost = 'b.example'\n",
       "第 1 行：搜索引擎的键“Bing”必须是 1 到 32 个 a-z、0-9 或 _，并以字母开头"},
      {"[engine.bing]\nhost = 'b.example'\n",
       "第 1 行：engine.bing 定义了新的搜索引擎：还须设置它的 link_prefix"},
      {"page_count = 2\n", "第 1 行：page_count 只能写在搜索引擎的表中，例如 [engine.baidu]"},
      {"retries = 11\n", "第 1 行：retries 必须是 0 到 10"},
      {"retries = 'x'\n", "第 1 行：retries 必须是整数"},
      {"block_pause = 4000\n", "第 1 行：block_pause 必须是 0 到 3600 秒"},
      {"block_pause = 'x'\n", "第 1 行：block_pause 必须是秒数"},
      {"delay = true\n", "第 1 行：delay 必须是数字或“MIN-MAX”形式的文本"},
      {"history = 1\n", "第 1 行：history 必须是 true 或 false"},
      {"history_path = 1\n", "第 1 行：history_path 必须是文件名文本"},
      {"engine = 1\n", "第 1 行：engine 必须是由搜索引擎组成的表"},
      {"[engine]\nbaidu = 1\n", "第 2 行：engine.baidu 必须是表"},
      {"[engine.baidu]\nname = 1\n", "第 2 行：name 必须是文本"},
      {"[engine.baidu]\nname = ''\n", "第 2 行：name 不能为空"},
      {"[engine.baidu]\nname = \"a\\u0001\"\n", "第 2 行：name 不能含有控制字符"},
      {"[engine.baidu]\nquery_path = 'a b'\n", "第 2 行：query_path 不能含有空格或控制字符"},
      {"[engine.baidu]\nhost = 'a/b'\n", "第 2 行：host 必须是主机名（字母、数字及 . - _ : [ ]）"},
      {"[engine.baidu]\nrank_rule = 'x'\n", "第 2 行：rank_rule 必须是以下之一："},
      {"[engine.baidu]\nlink_schemes = 1\n", "第 2 行：link_schemes 必须是文本的列表"},
      {"[engine.baidu]\nlink_schemes = ['']\n",
       "第 2 行：link_schemes 必须是文本的列表，且没有空文本"},
      {"[engine.baidu]\nlink_schemes = []\n", "第 2 行：link_schemes 至少要有一个文本"},
      {"[engine.baidu]\nheaders = 1\n", "第 2 行：headers 必须是请求头名称到文本的表"},
      {"[engine.baidu]\nheaders = { A = 1 }\n", "第 2 行：headers 必须把请求头名称对应到文本"},
      {"[engine.baidu]\nheaders = { Host = 'x' }\n",
       "第 2 行：headers：“Host”由程序自己设置（User-Agent 请用 user_agent）"},
      {"[engine.'%2x']\n", "第 1 行：未知的搜索引擎“%2x”（可用 baidu, google, sogou, soso, "},
      {"retries = = 2\n", "第 1 行：语法错误："},
  };
  for (const auto& c : cases) {
    const std::string path = settings_file("chinese.toml", c.file);
    const auto loaded = read_settings_file(path);
    if (!std::holds_alternative<std::string>(loaded)) {
      ADD_FAILURE() << "no problem in " << c.file;
      continue;
    }
    const QString chinese = settings_problem_in_chinese(std::get<std::string>(loaded));
    EXPECT_TRUE(chinese.startsWith(QStringLiteral("文件“%1”").arg(QString::fromStdString(path)) +
                                   QString::fromUtf8(c.chinese)))
        << c.file << " -> " << chinese.toStdString();
  }
  EXPECT_EQ(settings_problem_in_chinese("/x/quillrank.toml:0: cannot be read"),
            QStringLiteral("文件“/x/quillrank.toml”无法读取"));
}

TEST(ResultTableModel, ShowsACellsDetailAsItsTooltip) {
  ScriptedDesktop desktop;
  std::unique_ptr<MainWindow> window = make_window(desktop);
  RunResults& results = window->results();
  results.reset(std::make_shared<const std::vector<QueryRow>>(
                    std::vector<QueryRow>{{"a.example", "seo", ""}}),
                {CellState::querying, CellState::not_asked});
  RowResult blocked;
  blocked.verdict = Verdict::blocked;
  blocked.text = utf8_to_gbk_text("被拦截");
  blocked.detail = utf8_to_gbk_text("第1页：HTTP 403");
  results.set_result(0, 0, blocked);
  window->model().flush();
  const QAbstractItemModel& model = window->model();
  EXPECT_EQ(model.data(model.index(0, 2), Qt::ToolTipRole).toString(),
            QStringLiteral("第1页：HTTP 403"));
  EXPECT_FALSE(model.data(model.index(0, 3), Qt::ToolTipRole).isValid());
}

}  // namespace
}  // namespace quillrank::testing
