// What the window keeps from one start to the next: the box, the ticks, the size and place, the
// column widths and the dialogs' folder, saved when it closes and read at the next start, in
// the user's state folder; a missing or broken file changes nothing.
#include "app/window/window_state.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>

#include "app/window/startup.h"
#include "keywords/keyword_list.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

class WindowStateFile : public ::testing::Test {
 protected:
  QString path() const { return folder_.filePath(QStringLiteral("state/quillrank/window.json")); }
  QHeaderView* header(MainWindow& window) {
    return window.controls().result_list->horizontalHeader();
  }

  QTemporaryDir folder_;
  ScriptedDesktop desktop_;
};

TEST_F(WindowStateFile, RestoresTheBoxTicksSizeColumnsAndFolderAtTheNextStart) {
  const QString list = QStringLiteral("a.example|seo\nb.example|网站优化");
  {
    std::unique_ptr<MainWindow> window = make_window(desktop_);
    EXPECT_FALSE(window->keep_state_in(path())) << "nothing saved yet";
    window->show();
    window->controls().box->setPlainText(list);
    window->controls().engines[1]->setChecked(false);
    window->controls().engines[3]->setChecked(true);
    window->resize(1000, 500);
    header(*window)->resizeSection(1, 120);
    window->file_dialog().set_folder(folder_.path());
    window->close();
  }
  ASSERT_TRUE(QFile::exists(path()));
  EXPECT_EQ(QFile::permissions(path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
            QFileDevice::Permissions())
      << "the list is the user's alone";

  std::unique_ptr<MainWindow> window = make_window(desktop_);
  EXPECT_TRUE(window->keep_state_in(path()));
  window->show();
  EXPECT_EQ(window->controls().box->toPlainText(), list);
  const bool ticked[] = {true, false, false, true};
  for (int engine = 0; engine < 4; ++engine) {
    EXPECT_EQ(window->controls().engines[engine]->isChecked(), ticked[engine]) << engine;
  }
  EXPECT_EQ(window->size(), QSize(1000, 500));
  EXPECT_EQ(header(*window)->sectionSize(1), 120);
  // The site column had taken the grown list's width; it is back as it was, not grown twice.
  EXPECT_EQ(header(*window)->sectionSize(0), 60 + (1000 - 813) - (1000 - 813) / 3);
  EXPECT_EQ(window->file_dialog().folder(), QDir(folder_.path()).absolutePath());
  // Shrunk to the first size, the columns are the layout's again, but for the one moved.
  window->resize(813, 388);
  EXPECT_EQ(header(*window)->sectionSize(0), 60);
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(WindowStateFile, AWindowWithoutAStateFileKeepsNothing) {
  std::unique_ptr<MainWindow> window = make_window(desktop_);
  window->show();
  window->close();
  EXPECT_TRUE(QDir(folder_.path()).isEmpty());
  EXPECT_FALSE(QFile::exists(default_window_state_path()));
}

// Ticks are kept by engine key: an engine that comes in before a ticked one neither takes its
// tick nor moves it; one the window does not show now keeps its tick for a later start.
TEST_F(WindowStateFile, KeepsEachTickWithItsEngineWhateverComesBefore) {
  {
    std::unique_ptr<MainWindow> window = make_window(desktop_);
    window->keep_state_in(path());
    window->controls().engines[3]->setChecked(true);  // soso
    window->close();
  }
  Engines engines = builtin_engines(ProfileSet::classic);
  Engine added = engines[0];
  added.key = "added";
  added.profile.name = "新引擎";
  added.ticked = false;
  engines.insert(engines.begin() + 2, added);
  engines.erase(engines.begin() + 1);  // google goes for this start
  {
    std::unique_ptr<MainWindow> window = make_window(desktop_);
    window->keep_state_in(path());
    window->set_engines(engines);
    const bool ticked[] = {true, false, false, true};  // baidu, added, sogou, soso
    ASSERT_EQ(window->controls().engines.size(), 4u);
    for (std::size_t engine = 0; engine < 4; ++engine) {
      EXPECT_EQ(window->controls().engines[engine]->isChecked(), ticked[engine]) << engine;
    }
    EXPECT_EQ(window->controls().engines[1]->objectName(), QStringLiteral("选中added"));
    EXPECT_EQ(window->controls().engines[3]->objectName(), QStringLiteral("选中搜搜"));
    window->close();
  }
  const std::optional<WindowState> saved = read_window_state(path());
  ASSERT_TRUE(saved);
  const std::map<std::string, bool> ticks{
      {"added", false}, {"baidu", true}, {"google", true}, {"sogou", false}, {"soso", true}};
  EXPECT_EQ(saved->ticks, ticks);
}

// A file from before engines were keyed holds four ticks in the old slots' order.
TEST_F(WindowStateFile, ReadsTheFourTicksOfAnEarlierFile) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
  QFile file(path());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(R"({"box": "a.example|seo", "ticks": [false, true, true, false]})");
  file.close();
  std::unique_ptr<MainWindow> window = make_window(desktop_);
  window->keep_state_in(path());
  const EngineTicks ticks{false, true, true, false};
  EXPECT_EQ(window->ticks(), ticks);
}

TEST_F(WindowStateFile, ABrokenOrForeignFileChangesNothing) {
  for (const QByteArray& text :
       {QByteArray("not json"), QByteArray("[1, 2]"), QByteArray("{\"box\": 5, \"ticks\": \"x\"}"),
        QByteArray("{\"box\": \"\", \"ticks\": [true]}"),
        QByteArray("{\"box\": \"\", \"ticks\": {\"baidu\": 1}}"),
        QByteArray("{\"geometry\": \"%%%\", \"columns\": \"AAAA\", \"folder\": \"/nowhere\"}")}) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    std::unique_ptr<MainWindow> window = make_window(desktop_);
    const QString folder = window->file_dialog().folder();
    EXPECT_FALSE(window->keep_state_in(path())) << text.toStdString();
    window->show();
    EXPECT_GE(window->width(), 813);
    EXPECT_EQ(header(*window)->count(), 6);
    EXPECT_EQ(window->file_dialog().folder(), folder) << text.toStdString();
  }
}

TEST_F(WindowStateFile, AFailedSaveIsToldInChinese) {
  // A file where the state's folder should be.
  QFile blocker(folder_.filePath(QStringLiteral("state")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  std::unique_ptr<MainWindow> window = make_window(desktop_);
  window->keep_state_in(path());
  window->show();
  window->close();
  ASSERT_EQ(desktop_.warnings.size(), 1u);
  EXPECT_EQ(desktop_.warnings[0].title, QStringLiteral("保存窗口状态"));
  EXPECT_TRUE(desktop_.warnings[0].text.contains(path()));
}

TEST(DefaultWindowStatePath, IsInTheUsersStateFolderNeverBesideTheProgram) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", "/tmp/state-home");
  EXPECT_EQ(default_window_state_path(), QStringLiteral("/tmp/state-home/quillrank/window.json"));
  qunsetenv("XDG_STATE_HOME");
  EXPECT_EQ(default_window_state_path(),
            qEnvironmentVariable("HOME") + QStringLiteral("/.local/state/quillrank/window.json"));
  EXPECT_FALSE(default_window_state_path().startsWith(program_folder()));
  qputenv("XDG_STATE_HOME", saved);
}

}  // namespace
}  // namespace quillrank::testing
