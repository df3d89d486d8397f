// The shared queue end to end, as built programs: a list queued with --enqueue, ranked by
// --work processes against engine pages on 127.0.0.1, and --wait's table, which is the table a
// plain batch writes. Every row is recorded once, even when a worker is killed mid-run.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "history/rank_history.h"
#include "support/engine_pages.h"
#include "support/fixture_server.h"
#include "support/run_program.h"
#include "support/test_postgres.h"

namespace quillrank {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::HttpReply;
using testing::HttpRequest;

const std::string kProgram = QUILLRANK_BATCH_PROGRAM;

// shop.example is third on Baidu's first page and nowhere on Soso; each page takes `pause`.
FixtureServer engines(std::chrono::milliseconds pause = 0ms) {
  return FixtureServer([pause](const HttpRequest& request) {
    std::this_thread::sleep_for(pause);
    const bool baidu = request.header("Host") == "www.baidu.com";
    return HttpReply{.body = testing::engine_result_page(baidu ? kBaidu : kSoso,
                                                         "http://shop.example/", baidu ? 2 : -1)};
  });
}

std::string keyword_list(int rows) {
  const std::string path = ::testing::TempDir() + "quillrank-queue-" + std::to_string(rows);
  std::string text;
  for (int row = 0; row < rows; ++row) text += "shop.example|k" + std::to_string(row) + "\r\n";
  testing::write_file(path, text + "[nowhere]\r\n");  // an entry whose home page is no page
  return path;
}

// Every cell the history holds, by keyword and engine: how often each was recorded.
std::map<std::pair<std::string, std::string>, int> recorded(const std::string& url) {
  std::map<std::pair<std::string, std::string>, int> cells;
  for (const HistoryRecord& record : open_history_for_reading(url, 2000)->records({})) {
    ++cells[{record.cell.keyword, record.cell.engine}];
  }
  return cells;
}

class SharedQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    QUILLRANK_NEED_POSTGRES(server);
    url_ = server->new_database();
  }
  testing::ProgramRun batch(const FixtureServer& server, std::vector<std::string> args) {
    args.insert(args.end(), {"--history", url_});
    return testing::run_program(kProgram, args, {{"http_proxy", server.base_url()}});
  }
  std::unique_ptr<testing::ChildProgram> worker(const FixtureServer& server) {
    return std::make_unique<testing::ChildProgram>(
        kProgram, std::vector<std::string>{"--work", "--lease", "1", "--history", url_},
        std::map<std::string, std::string>{{"http_proxy", server.base_url()}}, "");
  }

  std::string url_;
};

TEST_F(SharedQueue, TwoWorkersRecordEveryRowOnceAndTheTableIsAPlainBatchs) {
  constexpr int kRows = 6;
  const FixtureServer server = engines(5ms);
  const std::string list = keyword_list(kRows);
  const testing::ProgramRun plain = testing::run_program(
      kProgram, {"-e", "baidu,soso", "--no-history", list}, {{"http_proxy", server.base_url()}});
  ASSERT_EQ(plain.exit_code, 0) << plain.err;

  const testing::ProgramRun queued = batch(server, {"-e", "baidu,soso", "--enqueue", list});
  ASSERT_EQ(queued.exit_code, 0) << queued.err;
  const std::string run = queued.out.substr(0, queued.out.find('\n'));
  {
    const auto first = worker(server);
    const auto second = worker(server);
    const testing::ProgramRun one = first->wait();
    const testing::ProgramRun two = second->wait();
    EXPECT_EQ(one.exit_code, 0) << one.err;
    EXPECT_EQ(two.exit_code, 0) << two.err;
  }
  const testing::ProgramRun waited = batch(server, {"--wait", run});
  EXPECT_EQ(waited.exit_code, 0) << waited.err;
  EXPECT_EQ(waited.out, plain.out);

  const auto cells = recorded(url_);
  EXPECT_EQ(cells.size(), 2u * (kRows + 1));
  for (const auto& [key, times] : cells) EXPECT_EQ(times, 1) << key.first << " " << key.second;
  for (const std::string& host : [&] {
         std::set<std::string> hosts;
         for (const HttpRequest& request : server.requests()) hosts.insert(request.header("Host"));
         return hosts;
       }()) {
    EXPECT_TRUE(host == "www.baidu.com" || host == "www.soso.com" || host == "nowhere") << host;
  }
}

TEST_F(SharedQueue, AKilledWorkersRowsAreRedoneByAnotherAfterItsLease) {
  constexpr int kRows = 8;
  const FixtureServer server = engines(150ms);
  const std::string list = keyword_list(kRows);
  const testing::ProgramRun queued = batch(server, {"-e", "baidu", "--enqueue", list});
  ASSERT_EQ(queued.exit_code, 0) << queued.err;
  const std::string run = queued.out.substr(0, queued.out.find('\n'));

  auto killed = worker(server);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (recorded(url_).size() < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  killed->signal(SIGKILL);  // mid-run, holding a claim
  EXPECT_EQ(killed->wait().exit_code, 128 + SIGKILL);
  EXPECT_LT(recorded(url_).size(), static_cast<std::size_t>(kRows + 1)) << "killed too late";

  const testing::ProgramRun rest = worker(server)->wait();
  EXPECT_EQ(rest.exit_code, 0) << rest.err;
  const testing::ProgramRun waited = batch(server, {"--wait", run});
  EXPECT_EQ(waited.exit_code, 0) << waited.err;
  const testing::ProgramRun plain = testing::run_program(
      kProgram, {"-e", "baidu", "--no-history", list}, {{"http_proxy", server.base_url()}});
  EXPECT_EQ(waited.out, plain.out);
  const auto cells = recorded(url_);
  EXPECT_EQ(cells.size(), static_cast<std::size_t>(kRows + 1));
  for (const auto& [key, times] : cells) EXPECT_EQ(times, 1) << key.first;
}

TEST_F(SharedQueue, QueueCommandsNeedASharedHistoryAndAnUnknownRunIsSaidSo) {
  const FixtureServer server = engines();
  const testing::ProgramRun no_url = testing::run_program(kProgram, {"--work", "--no-history"});
  EXPECT_EQ(no_url.exit_code, 2);
  EXPECT_NE(no_url.err.find("postgresql://"), std::string::npos) << no_url.err;
  const testing::ProgramRun unknown = batch(server, {"--wait", "12345"});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.err.find("no queued run 12345"), std::string::npos) << unknown.err;
  const testing::ProgramRun nothing = batch(server, {"--work"});
  EXPECT_EQ(nothing.exit_code, 0) << "an empty queue: nothing to do" << nothing.err;

  // A server that is not there is said once, its password masked.
  const testing::ProgramRun down = testing::run_program(
      kProgram, {"--work", "--history", "postgresql://team:s3cret@/q?host=/nonexistent-qr"});
  EXPECT_EQ(down.exit_code, 1);
  EXPECT_EQ(down.err.find("s3cret"), std::string::npos) << down.err;
  EXPECT_NE(down.err.find("postgresql://team:****@/q"), std::string::npos) << down.err;
  std::size_t said = 0;
  for (std::size_t at = down.err.find("cannot connect"); at != std::string::npos;
       at = down.err.find("cannot connect", at + 1)) {
    ++said;
  }
  EXPECT_EQ(said, 1u) << down.err;
}

}  // namespace
}  // namespace quillrank
