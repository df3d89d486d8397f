// Cases that run on each kind of rank history: an SQLite file and a PostgreSQL database of the
// test's own (skipped where no PostgreSQL server is installed).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "history/rank_history.h"
#include "history/temp_history.h"
#include "support/test_postgres.h"

namespace quillrank::testing {

class EveryStore : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sqlite") {
      std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
      std::replace(name.begin(), name.end(), '/', '-');
      location_ = temp_history(name);
      return;
    }
    QUILLRANK_NEED_POSTGRES(server);
    location_ = server->new_database();
  }
  std::unique_ptr<RankHistory> open() { return open_history_for_writing(location_, 2000); }

  std::string location_;  // a file path or a database URL
};

}  // namespace quillrank::testing

#define QUILLRANK_ON_EVERY_STORE(suite)                                              \
  INSTANTIATE_TEST_SUITE_P(Stores, suite, ::testing::Values("sqlite", "postgresql"), \
                           [](const auto& info) { return info.param; })
