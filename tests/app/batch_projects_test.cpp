// quillrank-batch with saved projects: --save-project, --project (its list, its engines unless
// -e says, one run at a time), and --schedule / --unschedule with and without systemd (a fake
// systemctl that records its arguments stands in for it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/batch/project_lock.h"
#include "history/history_store.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;
using testing::read_file;
using testing::run_program;
using testing::write_file;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;
const std::string kChinese = "客户 A";

// A home of its own for each test: data, settings and systemd units all go below it.
struct TempHome {
  std::string folder;
  std::map<std::string, std::string> env;

  explicit TempHome(const std::string& name)
      : folder(::testing::TempDir() + "quillrank-batch-projects-" + std::to_string(::getpid()) +
               "-" + name) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/bin");
    // The classic engines, whose pages the fixture servers send.
    std::filesystem::create_directories(folder + "/config/quillrank");
    write_file(folder + "/config/quillrank/quillrank.toml", "profiles = \"classic\"\n");
    env = {{"HOME", folder},
           {"XDG_DATA_HOME", folder + "/data"},
           {"XDG_CONFIG_HOME", folder + "/config"},
           {"PATH", folder + "/bin"}};
  }
  std::string project(const std::string& name) const {
    return folder + "/data/quillrank/projects/" + name;
  }
};

TEST(BatchProjects, SavesAListAsAProjectAndRanksItOnItsOwnEngines) {
  const TempHome home("rank");
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 2)};
  });
  auto env = home.env;
  env["http_proxy"] = server.base_url();
  write_file(home.folder + "/list.txt", "shop.example|中文\n");
  testing::ProgramRun run = run_program(
      kProgram, {"--save-project", kChinese, "-e", "baidu", home.folder + "/list.txt"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(read_file(home.project(kChinese) + "/project.toml").find("engines = [\"baidu\"]") !=
                std::string::npos,
            true);

  run = run_program(kProgram, {"--project", kChinese, "--no-history"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://shop.example\t中文\t第3名\t未启动\t未启动\t未启动\n");
  // -e over the project's engines; saving again without -e keeps them.
  run = run_program(kProgram, {"--project", kChinese, "--no-history", "-e", "sogou"}, env);
  EXPECT_NE(run.out.find("\t未启动\t未启动\t"), std::string::npos) << run.out;
  write_file(home.folder + "/list.txt", "shop.example|k\n");
  ASSERT_EQ(
      run_program(kProgram, {"--save-project", kChinese, home.folder + "/list.txt"}, env).exit_code,
      0);
  EXPECT_NE(read_file(home.project(kChinese) + "/project.toml").find("[\"baidu\"]"),
            std::string::npos);
}

// A run of a saved project is recorded as the project's; a run of a list file as one of none.
TEST(BatchProjects, RecordsARunOfAProjectAsTheProjects) {
  const TempHome home("recorded");
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 2)};
  });
  auto env = home.env;
  env["http_proxy"] = server.base_url();
  const std::string list = home.folder + "/list.txt";
  write_file(list, "shop.example|k1\n");
  ASSERT_EQ(run_program(kProgram, {"--save-project", kChinese, "-e", "baidu", list}, env).exit_code,
            0);
  const std::string history = home.folder + "/history.sqlite3";
  auto run = run_program(kProgram, {"--project", kChinese, "--history", history}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  run = run_program(kProgram, {"-e", "baidu", "--history", history, list}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<RunRow> runs = HistoryStore::open_for_reading(history, 1000).runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].project, kChinese);
  EXPECT_EQ(runs[0].cells, 1);
  EXPECT_EQ(runs[1].project, "");
}

TEST(BatchProjects, TellsTheOnRunEndCommandOfEachRunAndGoesOnWhenItFails) {
  const TempHome home("notify");
  FixtureServer server([](const HttpRequest&) {
    return HttpReply{.body = testing::engine_result_page(kBaidu, "http://shop.example/", 2)};
  });
  auto env = home.env;
  env["http_proxy"] = server.base_url();
  env["PATH"] = "/usr/bin:/bin";
  const std::string config = home.folder + "/quillrank.toml";
  write_file(config, "profiles = \"classic\"\non_run_end = \"cat > '" + home.folder +
                         "/summary.json'; echo $QUILLRANK_RUN_ID " + "$QUILLRANK_PROJECT > '" +
                         home.folder + "/env'\"\n");
  write_file(home.folder + "/list.txt", "shop.example|k1\nshop.example|k2\n");
  ASSERT_EQ(
      run_program(kProgram, {"--save-project", "p", "-e", "baidu", home.folder + "/list.txt"}, env)
          .exit_code,
      0);
  const std::vector<std::string> args{"--project", "p",  "--config",
                                      config,      "-o", home.folder + "/out.tsv"};
  auto run = run_program(kProgram, args, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(read_file(home.folder + "/summary.json"),
            "{\"run_id\":1,\"project\":\"p\",\"completed\":true,\"engines\":[\"baidu\"],"
            "\"rows\":2,\"ranked\":2,\"up\":0,\"down\":0,\"new\":2,\"lost\":0,\"blocked\":[]}\n");
  run = run_program(kProgram, args, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(
      read_file(home.folder + "/summary.json").find("\"ranked\":2,\"up\":0,\"down\":0,\"new\":0"),
      std::string::npos);
  EXPECT_EQ(read_file(home.folder + "/env"), "2 p\n");

  write_file(config, "profiles = \"classic\"\non_run_end = \"exit 4\"\n");
  run = run_program(kProgram, args, env);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("the on_run_end command failed: it exited with status 4"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::exists(home.folder + "/out.tsv"));
}

TEST(BatchProjects, RefusesBadNamesMissingProjectsAndASecondRunOfTheSameProject) {
  const TempHome home("refuse");
  write_file(home.folder + "/list.txt", "a.com|k\n");
  for (const std::string name : {"../x", ".hidden", "a/b", ""}) {
    const auto run =
        run_program(kProgram, {"--save-project", name, home.folder + "/list.txt"}, home.env);
    EXPECT_EQ(run.exit_code, 2) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(home.folder + "/data/quillrank/x"));
  auto run = run_program(kProgram, {"--project", "none"}, home.env);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("no project named 'none'"), std::string::npos) << run.err;
  run = run_program(kProgram, {"--project", "p", home.folder + "/list.txt"}, home.env);
  EXPECT_EQ(run.exit_code, 2) << "a project and an input list at once";

  ASSERT_EQ(
      run_program(kProgram, {"--save-project", "p", home.folder + "/list.txt"}, home.env).exit_code,
      0);
  std::string why;
  auto held = ProjectLock::take(home.project("p"), why);
  ASSERT_TRUE(std::holds_alternative<ProjectLock>(held)) << why;
  run = run_program(kProgram, {"--project", "p", "--no-history"}, home.env);
  EXPECT_EQ(run.exit_code, 75);
  EXPECT_NE(run.err.find("another run of this project is going"), std::string::npos) << run.err;
}

TEST(BatchProjects, WithoutSystemdASchedulePrintsTheCrontabLine) {
  const TempHome home("cron");
  write_file(home.folder + "/list.txt", "a.com|k\n");
  ASSERT_EQ(run_program(kProgram, {"--save-project", "50%", home.folder + "/list.txt"}, home.env)
                .exit_code,
            0);
  auto run = run_program(kProgram, {"--schedule", "50%", "daily", "07:30"}, home.env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string program = std::filesystem::canonical(kProgram).string();
  EXPECT_NE(run.out.find("30 7 * * * XDG_CONFIG_HOME='" + home.folder + "/config' XDG_DATA_HOME='" +
                         home.folder + "/data' '" + program + "' '--project' '50\\%' '-o' '" +
                         home.project("50\\%") + "/last.tsv' >> '" + home.project("50\\%") +
                         "/run.log' 2>&1\n"),
            std::string::npos)
      << run.out;
  run = run_program(kProgram, {"--unschedule", "50%"}, home.env);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("crontab -e"), std::string::npos);

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--schedule", "50%", "daily", "24:00"},
                                             {"--schedule", "50%", "weekly", "07:30"},
                                             {"--schedule", "50%", "daily", "7:30"},
                                             {"--schedule", "nothing", "daily", "07:30"}}) {
    EXPECT_EQ(run_program(kProgram, args, home.env).exit_code, 2) << args[1] << " " << args[3];
  }
}

TEST(BatchProjects, WithSystemdAScheduleWritesTheUnitsAndEnablesTheTimer) {
  const TempHome home("systemd");
  const std::string calls = home.folder + "/calls";
  write_file(home.folder + "/bin/systemctl", "#!/bin/sh\necho \"$*\" >> '" + calls + "'\n");
  std::filesystem::permissions(home.folder + "/bin/systemctl", std::filesystem::perms::owner_all);
  write_file(home.folder + "/list.txt", "a.com|k\n");
  auto env = home.env;
  env["PATH"] = home.folder + "/bin:/usr/bin:/bin";
  ASSERT_EQ(
      run_program(kProgram, {"--save-project", kChinese, home.folder + "/list.txt"}, env).exit_code,
      0);
  auto run = run_program(kProgram, {"--schedule", kChinese, "daily", "06:05"}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string units = home.folder + "/config/systemd/user/";
  const std::string unit = "quillrank-_e5_ae_a2_e6_88_b7_20A";
  const std::string service = read_file(units + unit + ".service");
  EXPECT_NE(service.find("ExecStart=\"" + std::filesystem::canonical(kProgram).string() +
                         "\" \"--project\" \"" + kChinese + "\" \"-o\" \"" +
                         home.project(kChinese) + "/last.tsv\"\n"),
            std::string::npos)
      << service;
  EXPECT_NE(service.find("Environment=\"XDG_DATA_HOME=" + home.folder + "/data\"\n"),
            std::string::npos);
  EXPECT_NE(read_file(units + unit + ".timer").find("OnCalendar=*-*-* 06:05:00\n"),
            std::string::npos);
  EXPECT_EQ(read_file(calls), "--user daemon-reload\n--user enable --now " + unit + ".timer\n");

  run = run_program(kProgram, {"--unschedule", kChinese}, env);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(units + unit + ".timer"));
  EXPECT_FALSE(std::filesystem::exists(units + unit + ".service"));
  EXPECT_EQ(read_file(calls), "--user daemon-reload\n--user enable --now " + unit +
                                  ".timer\n--user disable --now " + unit +
                                  ".timer\n--user daemon-reload\n");
  EXPECT_EQ(run_program(kProgram, {"--unschedule", kChinese}, env).exit_code, 1)
      << "nothing to remove";

  // A systemctl that fails is said, with status 1.
  ASSERT_EQ(
      run_program(kProgram, {"--save-project", "fail", home.folder + "/list.txt"}, env).exit_code,
      0);
  write_file(home.folder + "/bin/systemctl", "#!/bin/sh\n[ \"$2\" != enable ]\n");
  run = run_program(kProgram, {"--schedule", "fail", "daily", "06:05"}, env);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("systemctl --user enable --now quillrank-fail.timer failed"),
            std::string::npos)
      << run.err;
}

// A project is renamed and deleted from the command line too; one with a timer keeps its name
// and files until its schedule is removed, as the timer runs it by name.
TEST(BatchProjects, RenamesAndDeletesProjectsButNotScheduledOnes) {
  const TempHome home("rename");
  write_file(home.folder + "/bin/systemctl", "#!/bin/sh\n");
  std::filesystem::permissions(home.folder + "/bin/systemctl", std::filesystem::perms::owner_all);
  write_file(home.folder + "/list.txt", "a.com|k\n");
  auto env = home.env;
  env["PATH"] = home.folder + "/bin:/usr/bin:/bin";
  for (const char* name : {"one", "two"}) {
    ASSERT_EQ(
        run_program(kProgram, {"--save-project", name, home.folder + "/list.txt"}, env).exit_code,
        0);
  }
  const auto exit_code = [&](std::vector<std::string> args) {
    return run_program(kProgram, std::move(args), env).exit_code;
  };
  // The history knows the project's runs by name: they follow it; another project's stay.
  const std::string history = home.folder + "/data/quillrank/history.sqlite3";
  {
    HistoryStore store = HistoryStore::open_for_writing(history, 1000);
    for (const char* project : {"one", "two", "one"}) store.add_run(1, "baidu", "batch", project);
  }
  const testing::ProgramRun renamed =
      run_program(kProgram, {"--rename-project", "one", kChinese}, env);
  EXPECT_EQ(renamed.exit_code, 0) << renamed.err;
  EXPECT_NE(renamed.err.find("and its 2 recorded run(s)"), std::string::npos) << renamed.err;
  EXPECT_EQ(HistoryStore::open_for_reading(history, 1000).runs(kChinese).size(), 2u);
  EXPECT_EQ(HistoryStore::open_for_reading(history, 1000).runs(std::string("two")).size(), 1u);
  EXPECT_EQ(read_file(home.project(kChinese) + "/keywords.txt"), "a.com|k\r\n");
  EXPECT_FALSE(std::filesystem::exists(home.project("one")));
  const struct {
    std::vector<std::string> args;
    int exit_code;
  } refused[] = {
      {{"--rename-project", kChinese, "two"}, 2},  // taken
      {{"--rename-project", "gone", "three"}, 2},  // no such project
      {{"--rename-project", "two", "../x"}, 2},    // no name for a folder
      {{"--delete-project", "gone"}, 2},
      {{"--delete-project", ""}, 2},
      {{"--delete-project", "two", "--project", "two"}, 2},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(exit_code(c.args), c.exit_code) << c.args[0] << " " << c.args[1];
  }

  ASSERT_EQ(exit_code({"--schedule", "two", "daily", "06:05"}), 0);
  const testing::ProgramRun run = run_program(kProgram, {"--delete-project", "two"}, env);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("remove its schedule first (--unschedule two)"), std::string::npos)
      << run.err;
  EXPECT_EQ(exit_code({"--rename-project", "two", "three"}), 2);
  ASSERT_EQ(exit_code({"--unschedule", "two"}), 0);
  EXPECT_EQ(exit_code({"--delete-project", "two"}), 0);
  EXPECT_FALSE(std::filesystem::exists(home.project("two")));
}

}  // namespace
}  // namespace quillrank
