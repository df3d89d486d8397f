// Projects in the window: the box is the chosen project's list and the ticks its engines; what
// the person changes lands in the project's files; projects are created, renamed and deleted
// from the project menu, and the chosen one is kept from one start to the next.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/batch/schedule.h"
#include "app/window/box_text.h"
#include "projects/project_store.h"
#include "window_test_support.h"

namespace quillrank::testing {
namespace {

class WindowProjects : public ::testing::Test {
 protected:
  WindowProjects() {
    window_->set_projects_folder(folder());
    window_->show();
  }
  std::string folder() const { return folder_.filePath(QStringLiteral("projects")).toStdString(); }
  ProjectStore store() const { return ProjectStore(folder()); }
  Project stored(const std::string& name) const { return std::get<Project>(store().load(name)); }
  QPlainTextEdit* box() { return window_->controls().box; }
  QComboBox* combo() { return window_->controls().project; }
  QStringList combo_items() {
    QStringList items;
    for (int i = 0; i < combo()->count(); ++i) items << combo()->itemText(i);
    return items;
  }
  void tick_only(std::initializer_list<int> engines) {
    for (QCheckBox* box : window_->controls().engines) box->setChecked(false);
    for (int engine : engines) window_->controls().engines[engine]->setChecked(true);
  }
  std::vector<bool> ticked() {
    std::vector<bool> ticks;
    for (QCheckBox* box : window_->controls().engines) ticks.push_back(box->isChecked());
    return ticks;
  }
  // Creates a project of `list` asking `engines`, through the menu's first entry.
  void create(const QString& name, const QString& list, std::initializer_list<int> engines) {
    box()->setPlainText(list);
    tick_only(engines);
    desktop_.names = {name};
    window_->controls().project_button->menu()->actions()[0]->trigger();
  }

  QTemporaryDir folder_;
  ScriptedDesktop desktop_;
  std::unique_ptr<MainWindow> window_ = make_window(desktop_);
};

TEST_F(WindowProjects, ANewProjectKeepsTheBoxAndTheTicksAndBecomesTheChosenOne) {
  EXPECT_EQ(combo_items(), QStringList{QStringLiteral("（无项目）")});
  EXPECT_TRUE(combo()->isEnabled());
  create(QStringLiteral("客户甲"), QStringLiteral("a.example|网站优化\nb.example|seo"), {0, 2});

  const Project project = stored("客户甲");
  EXPECT_EQ(gbk_to_box(project.list), QStringLiteral("a.example|网站优化\nb.example|seo"));
  EXPECT_EQ(project.settings.engines, (std::vector<std::string>{"baidu", "sogou"}));
  EXPECT_EQ(combo_items(), (QStringList{QStringLiteral("（无项目）"), QStringLiteral("客户甲")}));
  EXPECT_EQ(combo()->currentText(), QStringLiteral("客户甲"));
  EXPECT_EQ(window_->projects().current(), "客户甲");
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(WindowProjects, PickingAProjectShowsItsListAndEnginesAndNoneBringsTheOwnListBack) {
  box()->setPlainText(QStringLiteral("own.example|mine"));
  store().save({.name = "甲", .list = GbkText("a.example|one"), .settings = {{"google"}}});
  store().save({.name = "乙", .list = GbkText("b.example|two"), .settings = {{"all"}}});
  window_->set_projects_folder(folder());  // the combo lists what the folder holds now

  combo()->setCurrentIndex(combo()->findText(QStringLiteral("甲")));
  EXPECT_EQ(box()->toPlainText(), QStringLiteral("a.example|one"));
  EXPECT_EQ(ticked(), (std::vector<bool>{false, true, false, false}));
  combo()->setCurrentIndex(combo()->findText(QStringLiteral("乙")));
  EXPECT_EQ(box()->toPlainText(), QStringLiteral("b.example|two"));
  EXPECT_EQ(ticked(), (std::vector<bool>{true, true, true, true})) << "all";
  combo()->setCurrentIndex(0);
  EXPECT_EQ(box()->toPlainText(), QStringLiteral("own.example|mine"));
  EXPECT_EQ(window_->projects().current(), "");
  // Nothing was changed, so nothing was written: "all" stays "all".
  EXPECT_EQ(stored("乙").settings.engines, std::vector<std::string>{"all"});
}

// An edit lands in the project's list a moment after the person stops typing, and at once when
// the box leaves the project or a run starts; ticks go with it.
TEST_F(WindowProjects, ChangesAreSavedIntoTheChosenProject) {
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  box()->setPlainText(QStringLiteral("a.example|one\na.example|two"));
  EXPECT_TRUE(
      wait_until([&] { return stored("甲").list == GbkText("a.example|one\r\na.example|two"); }));

  tick_only({1, 3});
  box()->setPlainText(QStringLiteral("a.example|three"));
  combo()->setCurrentIndex(0);  // leaves the project: saved at once
  Project project = stored("甲");
  EXPECT_EQ(project.list, GbkText("a.example|three"));
  EXPECT_EQ(project.settings.engines, (std::vector<std::string>{"google", "soso"}));

  combo()->setCurrentIndex(1);
  for (QCheckBox* engine : window_->controls().engines) engine->setChecked(false);
  box()->setPlainText(QStringLiteral("a.example|four"));
  window_->start_query();  // nothing ticked: nothing asked, but the list is saved first
  EXPECT_EQ(stored("甲").list, GbkText("a.example|four"));
  EXPECT_EQ(stored("甲").settings.engines, (std::vector<std::string>{"google", "soso"}))
      << "nothing ticked is no project's engines: they stay as they were";
}

// A project may name engines this window does not show (another settings file's): saving the
// ticks keeps them.
TEST_F(WindowProjects, EnginesTheWindowDoesNotShowStayInTheProject) {
  store().save({.name = "甲", .list = GbkText("a.example|one"), .settings = {{"baidu", "bing"}}});
  window_->set_projects_folder(folder());
  ASSERT_TRUE(window_->projects().choose("甲"));
  window_->controls().engines[1]->setChecked(true);
  ASSERT_TRUE(window_->projects().save());
  EXPECT_EQ(stored("甲").settings.engines, (std::vector<std::string>{"baidu", "google", "bing"}));

  // Shown later (the settings file read), that engine comes ticked as the project says.
  window_->set_engines(builtin_engines(kDefaultProfileSet));
  const Engines& engines = window_->engines();
  for (std::size_t engine = 0; engine < engines.size(); ++engine) {
    const bool wanted = engines[engine].key == "baidu" || engines[engine].key == "google" ||
                        engines[engine].key == "bing";
    EXPECT_EQ(window_->controls().engines[engine]->isChecked(), wanted) << engines[engine].key;
  }
}

TEST_F(WindowProjects, RenamingMovesTheProjectAndRefusesBadOrTakenNames) {
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  create(QStringLiteral("乙"), QStringLiteral("b.example|two"), {0});
  std::pair<std::string, std::string> heard;
  window_->projects().set_renamed([&](const std::string& from, const std::string& to) {
    heard = {from, to};
  });

  // Each refused answer is said, and the question comes again; the last name is taken.
  desktop_.names = {QStringLiteral(""), QStringLiteral("../x"), QStringLiteral("甲"),
                    QStringLiteral("丙")};
  window_->controls().project_button->menu()->actions()[1]->trigger();
  ASSERT_EQ(desktop_.warnings.size(), 3u);
  EXPECT_TRUE(desktop_.warnings[2].text.contains(QStringLiteral("已有名为“甲”的项目")));
  EXPECT_FALSE(store().exists("乙"));
  EXPECT_EQ(stored("丙").list, GbkText("b.example|two"));
  EXPECT_EQ(heard, (std::pair<std::string, std::string>{"乙", "丙"}));
  EXPECT_EQ(combo()->currentText(), QStringLiteral("丙"));
  EXPECT_EQ(combo_items(), (QStringList{QStringLiteral("（无项目）"), QStringLiteral("丙"),
                                        QStringLiteral("甲")}));

  desktop_.names = {};  // cancelled: nothing changes
  window_->projects().rename();
  EXPECT_EQ(window_->projects().current(), "丙");
}

TEST_F(WindowProjects, DeletingAsksFirstThenTakesTheProjectAway) {
  box()->setPlainText(QStringLiteral("own.example|mine"));
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  desktop_.ask_answer = false;
  window_->controls().project_button->menu()->actions()[2]->trigger();
  EXPECT_TRUE(store().exists("甲"));

  desktop_.ask_answer = true;
  window_->projects().remove();
  EXPECT_FALSE(store().exists("甲"));
  EXPECT_EQ(combo_items(), QStringList{QStringLiteral("（无项目）")});
  EXPECT_EQ(window_->projects().current(), "");
  EXPECT_EQ(box()->toPlainText(), QStringLiteral("a.example|one"))
      << "the own list is what the box had when the project was made";
}

// Expanded site entries fill the box, but the project keeps the entries as typed.
TEST_F(WindowProjects, ARunsExpandedSiteEntriesStayOutOfTheProject) {
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  box()->setPlainText(QStringLiteral("a.example|one\n[b.example]"));
  window_->projects().save();
  box()->setPlainText(QStringLiteral("a.example|one\nb.example|two"));
  window_->projects().keep_list_as_saved();  // as the expansion does
  combo()->setCurrentIndex(0);
  EXPECT_EQ(stored("甲").list, GbkText("a.example|one\r\n[b.example]"));
}

TEST_F(WindowProjects, TheChosenProjectAndTheOwnListAreKeptToTheNextStart) {
  const QString state = folder_.filePath(QStringLiteral("window.json"));
  window_->keep_state_in(state);
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {2});
  combo()->setCurrentIndex(0);
  box()->setPlainText(QStringLiteral("own.example|mine"));
  combo()->setCurrentIndex(1);
  box()->setPlainText(QStringLiteral("a.example|edited"));
  window_->close();
  EXPECT_EQ(stored("甲").list, GbkText("a.example|edited")) << "saved on close";

  std::unique_ptr<MainWindow> again = make_window(desktop_);
  again->set_projects_folder(folder());
  again->keep_state_in(state);
  EXPECT_EQ(again->projects().current(), "甲");
  EXPECT_EQ(again->controls().box->toPlainText(), QStringLiteral("a.example|edited"));
  EXPECT_TRUE(again->controls().engines[2]->isChecked());
  EXPECT_EQ(again->projects().own_list(), QStringLiteral("own.example|mine"));

  // Deleted meanwhile (by hand, or by the batch): the window opens on its own list.
  store().remove("甲");
  std::unique_ptr<MainWindow> third = make_window(desktop_);
  third->set_projects_folder(folder());
  third->keep_state_in(state);
  EXPECT_EQ(third->projects().current(), "");
  EXPECT_EQ(third->controls().box->toPlainText(), QStringLiteral("own.example|mine"));
  EXPECT_TRUE(desktop_.warnings.empty());
}

TEST_F(WindowProjects, AScheduledProjectIsNeitherRenamedNorDeleted) {
  const QByteArray config = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", folder_.filePath(QStringLiteral("config")).toUtf8());
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  const std::string units = folder_.filePath(QStringLiteral("config/systemd/user")).toStdString();
  std::filesystem::create_directories(units);
  std::ofstream(units + "/" + schedule_unit_name("甲") + ".timer") << "[Timer]\n";
  desktop_.names = {QStringLiteral("乙")};
  window_->projects().rename();
  window_->projects().remove();
  EXPECT_TRUE(store().exists("甲"));
  ASSERT_EQ(desktop_.warnings.size(), 2u);
  EXPECT_TRUE(desktop_.warnings[0].text.contains(QStringLiteral("--unschedule 甲")));
  EXPECT_TRUE(desktop_.questions.size() == 1) << "only the new project's name was asked";
  if (config.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", config);
  }
}

// Made by the batch while the window is open, a project is listed when the list is opened.
TEST_F(WindowProjects, TheListShowsProjectsMadeElsewhereWhenItOpens) {
  create(QStringLiteral("甲"), QStringLiteral("a.example|one"), {0});
  store().save({.name = "乙", .list = GbkText("b.example|two")});
  store().remove("甲");
  QTest::mousePress(combo(), Qt::LeftButton);
  QTest::keyClick(combo()->view(), Qt::Key_Escape);  // closes the popup again
  EXPECT_EQ(combo_items(),
            (QStringList{QStringLiteral("（无项目）"), QStringLiteral("乙"), QStringLiteral("甲")}))
      << "the chosen one stays while the box holds it";
  EXPECT_EQ(combo()->currentText(), QStringLiteral("甲"));
}

TEST_F(WindowProjects, WithoutAProjectsFolderTheRowIsOff) {
  window_->set_projects_folder({});
  EXPECT_FALSE(combo()->isEnabled());
  EXPECT_FALSE(window_->controls().project_button->isEnabled());
}

}  // namespace
}  // namespace quillrank::testing
