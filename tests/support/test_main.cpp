// The core tests' main: every proxy variable leads to a closed port on 127.0.0.1 and only
// 127.0.0.1 itself is reached directly, so a fetch of any other host that a test did not point
// at its own fixture server fails here instead of leaving the machine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/fixture_server.h"

int main(int argc, char** argv) {
  const std::string nowhere =
      "http://127.0.0.1:" + std::to_string(quillrank::testing::refused_port());
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    ::setenv(name, nowhere.c_str(), 1);
  }
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
  ::unsetenv("NO_PROXY");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
