#include "projects/project_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quillrank {
namespace {

std::string fresh_folder(const std::string& name) {
  const std::string folder =
      ::testing::TempDir() + "quillrank-projects-" + std::to_string(::getpid()) + "-" + name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

TEST(ProjectName, AcceptsPlainAndChineseNamesAndRefusesWhatCouldEscapeItsFolder) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"clients", true},
      {"\xE5\xAE\xA2\xE6\x88\xB7 A", true},  // 客户 A
      {"a.b", true},
      {std::string(64, 'x'), true},
      {std::string(65, 'x'), false},
      {"\xE5\x41", false},  // not UTF-8
      {"", false},
      {".", false},
      {"..", false},
      {".hidden", false},
      {"a/b", false},
      {"../up", false},
      {"a\\b", false},
      {"tab\there", false},
      {"line\nbreak", false},
      {std::string("nul\0x", 5), false},
      {"del\x7F", false},
      {"c1\xC2\x85", false},    // U+0085, a C1 control
      {"\xC0\xAF", false},      // an overlong '/'
      {"\xED\xA0\x80", false},  // a surrogate
      {"\xE5\xAE", false},      // cut in the middle of a character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(project_name_problem(c.name).empty(), c.valid) << c.name;
  }
}

TEST(ProjectSettings, ReadsEnginesAndRefusesAnythingElseWithItsLine) {
  struct Case {
    std::string text;
    std::vector<std::string> engines;  // empty: an error naming line 1 or 2 is expected
  };
  const Case cases[] = {
      {"engines = [\"baidu\", \"google\"]", {"baidu", "google"}},
      {"engines = [\"all\"]", {"all"}},
      {"", {"baidu", "google"}},
      {"engines = []", {}},
      {"engines = \"baidu\"", {}},
      {"engines = [\"Baidu\"]", {}},
      {"engines = [\"../x\"]", {}},
      {"engines = [1]", {}},
      {"\nengine = [\"baidu\"]", {}},
      {"engines = [", {}},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_project_settings(c.text, "p.toml");
    if (c.engines.empty()) {
      ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.text;
      EXPECT_TRUE(std::get<std::string>(parsed).starts_with("p.toml:")) << c.text;
    } else {
      ASSERT_TRUE(std::holds_alternative<ProjectSettings>(parsed)) << c.text;
      EXPECT_EQ(std::get<ProjectSettings>(parsed).engines, c.engines) << c.text;
    }
  }
  const ProjectSettings three{{"baidu", "sogou", "bing_cn"}};
  EXPECT_EQ(
      std::get<ProjectSettings>(parse_project_settings(project_settings_text(three), "p.toml")),
      three);
}

TEST(ProjectStore, SavesLoadsListsRenamesAndDeletesProjects) {
  const ProjectStore store(fresh_folder("store"));
  const std::string chinese = "\xE5\xAE\xA2\xE6\x88\xB7";  // 客户
  const Project project{.name = chinese,
                        .list = "a.com|\xC4\xE3\xBA\xC3\r\nb.com|x\r\n",  // GBK 你好
                        .settings = {{"baidu"}}};
  ASSERT_EQ(store.save(project), std::nullopt);
  ASSERT_EQ(store.save(Project{.name = "b"}), std::nullopt);
  EXPECT_EQ(store.names(), (std::vector<std::string>{"b", chinese}));

  const auto loaded = store.load(chinese);
  ASSERT_TRUE(std::holds_alternative<Project>(loaded)) << std::get<std::string>(loaded);
  EXPECT_EQ(std::get<Project>(loaded).list, project.list);
  EXPECT_EQ(std::get<Project>(loaded).settings, project.settings);

  EXPECT_NE(store.rename(chinese, "b"), std::nullopt);  // taken
  EXPECT_NE(store.rename(chinese, "../b"), std::nullopt);
  ASSERT_EQ(store.rename(chinese, "c"), std::nullopt);
  EXPECT_EQ(store.names(), (std::vector<std::string>{"b", "c"}));
  EXPECT_TRUE(std::holds_alternative<std::string>(store.load(chinese)));

  ASSERT_EQ(store.remove("c"), std::nullopt);
  EXPECT_NE(store.remove("c"), std::nullopt);
  EXPECT_NE(store.remove(".."), std::nullopt);
  EXPECT_EQ(store.names(), std::vector<std::string>{"b"});

  // Settings the reader would refuse are never written: the project stays readable.
  EXPECT_NE(store.save(Project{.name = "b", .settings = {{}}}), std::nullopt);
  EXPECT_NE(store.save(Project{.name = "b", .settings = {{"Not A Key"}}}), std::nullopt);
  EXPECT_TRUE(std::holds_alternative<Project>(store.load("b")));
}

TEST(ProjectStore, ReadsAListEditedByHandInUtf8AndSaysWhatIsWrongWithItsSettings) {
  const ProjectStore store(fresh_folder("by-hand"));
  std::filesystem::create_directories(store.folder_of("p"));
  std::ofstream(store.folder_of("p") + "/keywords.txt") << "a.com|\xE4\xBD\xA0\xE5\xA5\xBD\n";
  const auto loaded = store.load("p");
  ASSERT_TRUE(std::holds_alternative<Project>(loaded));
  EXPECT_EQ(std::get<Project>(loaded).list, "a.com|\xC4\xE3\xBA\xC3\r\n");
  EXPECT_EQ(std::get<Project>(loaded).settings, ProjectSettings{});

  std::ofstream(store.folder_of("p") + "/project.toml") << "engines = [\"baidu\",]\nspeed = 3\n";
  const auto broken = store.load("p");
  ASSERT_TRUE(std::holds_alternative<std::string>(broken));
  EXPECT_NE(std::get<std::string>(broken).find("project.toml:2: unknown key 'speed'"),
            std::string::npos)
      << std::get<std::string>(broken);
}

TEST(ReplaceFile, ReplacesAFileWholeAndSaysWhenItCannot) {
  const std::string folder = fresh_folder("replace");
  const std::string file = folder + "/report.html";
  ASSERT_TRUE(replace_file(file, "old"));
  ASSERT_TRUE(replace_file(file, "new"));
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  // A folder in the way (not empty, so not renamed over) and a missing folder: false, and no
  // temporary file left behind.
  std::filesystem::create_directories(folder + "/taken/inside");
  EXPECT_FALSE(replace_file(folder + "/taken", "bytes"));
  EXPECT_FALSE(replace_file(folder + "/missing/report.html", "bytes"));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 2u) << "report.html and taken";
}

}  // namespace
}  // namespace quillrank
