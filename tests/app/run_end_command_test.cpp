// The on_run_end command: what it is given (the summary as JSON, the run's and project's names
// in its environment) and every way it can fail without stopping anything.
#include "app/run_end_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "app/run_end_notifier.h"
#include "engines/cell_texts.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

std::string temp_folder() {
  const std::string folder =
      ::testing::TempDir() + "quillrank-run-end-" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  return folder;
}

RunSummary sample() {
  return {.run_id = 12,
          .project = "客户 \"A\"",
          .completed = true,
          .engines = {"baidu", "google"},
          .rows = 3,
          .ranked = 4,
          .up = 1,
          .down = 2,
          .new_ranks = 1,
          .lost = 0,
          .blocked = {"google"}};
}

TEST(RunEndCommand, GetsTheSummaryAsJsonAndTheRunAndProjectInItsEnvironment) {
  const std::string folder = temp_folder();
  const std::string command = "cat > '" + folder +
                              "/in.json'; printf '%s|%s' \"$QUILLRANK_RUN_ID\" " +
                              "\"$QUILLRANK_PROJECT\" > '" + folder + "/env'";
  ASSERT_EQ(run_end_command(command, sample()), std::nullopt);
  EXPECT_EQ(testing::read_file(folder + "/in.json"),
            "{\"run_id\":12,\"project\":\"客户 \\\"A\\\"\",\"completed\":true,"
            "\"engines\":[\"baidu\",\"google\"],\"rows\":3,\"ranked\":4,\"up\":1,\"down\":2,"
            "\"new\":1,\"lost\":0,\"blocked\":[\"google\"]}\n");
  EXPECT_EQ(testing::read_file(folder + "/env"), "12|客户 \"A\"");

  RunSummary unknown;
  unknown.project = "tab\there";
  EXPECT_TRUE(
      run_summary_json(unknown).starts_with("{\"run_id\":null,\"project\":\"tab\\u0009here\","));
}

TEST(RunSummary, CountsRanksMovesAndBlockedEnginesOfTheAskedEnginesOnly) {
  const Engines& engines = builtin_engines(ProfileSet::classic);
  RunResults results;
  auto rows = std::make_shared<std::vector<QueryRow>>(
      4, QueryRow{.site = "a.com", .keyword = "k", .entry = ""});
  results.reset(
      rows, {CellState::querying, CellState::querying, CellState::querying, CellState::not_asked});
  const auto result = [](int rank, Verdict verdict = Verdict::result, std::string_view text = "") {
    RowResult made;
    made.rank = rank;
    made.verdict = verdict;
    made.text = text;
    return made;
  };
  const auto ranked = [&](int rank) { return result(rank); };
  // Row by row on baidu: before 5 now 3 (up), before 2 now 4 (down), never before now 1 (new),
  // before 7 now not among the results (lost).
  results.set_result(0, 0, ranked(3));
  results.set_result(1, 0, ranked(4));
  results.set_result(2, 0, ranked(1));
  results.set_result(3, 0, result(0, Verdict::result, kNotFoundText));
  results.set_result(0, 1, result(0, Verdict::blocked));
  results.set_result(0, 2, ranked(9));  // sogou: the same rank as before
  const std::optional<int> before[4] = {5, 2, std::nullopt, 7};
  const RunSummary summary =
      summarize_run(results, engines, {true, true, true, false}, [&](int row, std::size_t engine) {
        return engine == 2 ? std::optional<int>(9) : before[row];
      });
  EXPECT_EQ(summary.engines, (std::vector<std::string>{"baidu", "google", "sogou"}));
  EXPECT_EQ(summary.rows, 4);
  EXPECT_EQ(summary.ranked, 4);
  EXPECT_EQ(summary.up, 1);
  EXPECT_EQ(summary.down, 1);
  EXPECT_EQ(summary.new_ranks, 1);
  EXPECT_EQ(summary.lost, 1);
  EXPECT_EQ(summary.blocked, std::vector<std::string>{"google"});
}

TEST(RunEndCommand, SaysHowItFailedAndNeverWaitsPastItsLimit) {
  struct Case {
    std::string command;
    std::string failure;  // empty: none
  };
  const Case cases[] = {
      {"exit 0", ""},
      {"true", ""},  // never reads its input: no SIGPIPE here
      {"exit 3", "it exited with status 3"},
      {"/nonexistent/notify", "it could not be started (status 127)"},
      {"kill -TERM $$", "it was ended by signal 15"},
      {"sleep 20 & sleep 30", "it was still going after 0.30 s and was stopped"},
  };
  for (const Case& c : cases) {
    const auto begin = std::chrono::steady_clock::now();
    const std::optional<std::string> failed =
        run_end_command(c.command, sample(), std::chrono::milliseconds(300));
    EXPECT_EQ(failed.value_or(""), c.failure) << c.command;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3)) << c.command;
  }
}

// The window's way: the commands of runs that end one after the other run in that order, each
// after the one before, and a failure is heard; at the end a command still going is stopped.
TEST(RunEndNotifier, RunsEachRunsCommandInTurnAndStopsTheLastAtItsEnd) {
  const std::string folder = temp_folder() + "/notifier";
  std::filesystem::create_directories(folder);
  std::vector<std::string> failures;  // written on the commands' threads, one at a time
  {
    RunEndNotifier notifier([&](const std::string& why) { failures.push_back(why); });
    notifier.notify(sample());  // no command: nothing
    notifier.set_command("sed -n 's/.*\"rows\":\\([0-9]*\\).*/\\1/p' >> '" + folder +
                         "/rows'; test \"$QUILLRANK_RUN_ID\" != 2");
    RunSummary first = sample(), second = sample();
    first.rows = 1;
    first.run_id = 1;
    second.rows = 2;
    second.run_id = 2;
    notifier.notify(first);
    notifier.notify(second);
    notifier.set_command("touch '" + folder + "/third'; sleep 30");
    notifier.notify(sample());
    // Started (the two before it have ended) before the notifier goes.
    for (int tries = 0; tries < 2000 && !std::filesystem::exists(folder + "/third"); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(std::filesystem::exists(folder + "/third"));
  }
  EXPECT_EQ(testing::read_file(folder + "/rows"), "1\n2\n");
  EXPECT_EQ(failures, (std::vector<std::string>{"it exited with status 1",
                                                "it was stopped as the program closed"}));
}

}  // namespace
}  // namespace quillrank
