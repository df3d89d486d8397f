// A history database path of a test's own, with no file left from an earlier run.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace quillrank::testing {

inline std::string temp_history(const std::string& name) {
  const std::string folder =
      ::testing::TempDir() + "quillrank-history-" + std::to_string(::getpid()) + "/";
  std::filesystem::create_directories(folder);
  const std::string path = folder + name + ".sqlite3";
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  return path;
}

}  // namespace quillrank::testing
