// Leads every proxy variable to a closed port on 127.0.0.1 and lets only 127.0.0.1 be reached
// directly: a fetch of any other host that a test did not point at its own fixture server then
// fails here instead of leaving the machine. For the mains of test programs, before any thread.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/fixture_server.h"

namespace quillrank::testing {

inline void lead_proxies_nowhere() {
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(refused_port());
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    ::setenv(name, nowhere.c_str(), 1);
  }
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
  ::unsetenv("NO_PROXY");
}

// Points the user's settings, data and state folders at a folder of the test run's own, so no
// test, and no program a test starts, reads the settings file (or the cookies, or the window's
// state) of whoever runs the tests. That folder's settings file chooses the classic profiles,
// whose pages the fixture servers play over plain HTTP: a test of the current set says so with
// --profiles or its own settings file.
inline void use_no_user_settings() {
  const std::string own = "/tmp/quillrank-test-home-" + std::to_string(::getpid());
  ::setenv("XDG_CONFIG_HOME", (own + "/config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (own + "/data").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (own + "/state").c_str(), 1);
  std::filesystem::create_directories(own + "/config/quillrank");
  std::ofstream(own + "/config/quillrank/quillrank.toml") << "profiles = \"classic\"\n";
}

}  // namespace quillrank::testing
