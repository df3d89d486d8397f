// A PostgreSQL server of the tests' own: Debian's postgresql package, a cluster made with initdb
// in a temporary folder, reached only through a Unix socket in that folder (no TCP port), started
// at the first use in a test program and stopped when the program ends. Run as the postgres user
// when the tests run as root. Tests skip themselves where the package is not installed.
#pragma once

#include <optional>
#include <string>

namespace quillrank::testing {

class TestPostgres {
 public:
  // The server of this test program, started at the first call; nullptr when there is no
  // PostgreSQL server package (`why_missing` says so). Throws when it cannot start.
  static TestPostgres* get();
  static std::string why_missing();

  // A new empty database of its own: its postgresql:// URL.
  std::string new_database();
  // The URL of an existing database by name.
  std::string url(const std::string& database) const;

  ~TestPostgres();
  TestPostgres(const TestPostgres&) = delete;
  TestPostgres& operator=(const TestPostgres&) = delete;

 private:
  TestPostgres(std::string bin, std::string folder, bool as_postgres);
  std::string command(const std::string& program) const;  // run as the server's user

  std::string bin_;     // the package's bin folder
  std::string folder_;  // the cluster's folder and its socket
  bool as_postgres_;
  int databases_ = 0;
};

}  // namespace quillrank::testing

// Skips the test when the server package is missing; else `server` is the server.
#define QUILLRANK_NEED_POSTGRES(server)                                                   \
  ::quillrank::testing::TestPostgres* server = ::quillrank::testing::TestPostgres::get(); \
  if (!server) GTEST_SKIP() << ::quillrank::testing::TestPostgres::why_missing()
