// The cookie files: written whole, for the user alone, read back line for line; a file too long
// to be one is not read.
#include "net/cookie_jar.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace quillrank {
namespace {

TEST(CookieJar, WritesForTheUserAloneAndReadsBackTheCookieLines) {
  const std::string folder = ::testing::TempDir() + "quillrank-jar/cookies";
  std::filesystem::remove_all(folder);
  const std::string path = folder + "/baidu.txt";
  const std::vector<std::string> lines = {
      ".baidu.com\tTRUE\t/\tFALSE\t0\tBAIDUID\tAB:FG=1",
      "#HttpOnly_www.baidu.com\tFALSE\t/\tTRUE\t1893456000\tH_PS\t1",
  };
  ASSERT_TRUE(write_cookie_file(path, lines));
  struct stat file = {};
  struct stat dir = {};
  ASSERT_EQ(stat(path.c_str(), &file), 0);
  ASSERT_EQ(stat(folder.c_str(), &dir), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(dir.st_mode & 0777, 0700u);
  EXPECT_EQ(read_cookie_file(path), lines) << "the comment line is left out";
  ASSERT_TRUE(write_cookie_file(path, {}));
  EXPECT_TRUE(read_cookie_file(path).empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
      << "no temporary file left behind";

  std::ofstream(path) << std::string(kMaxCookieFileBytes + 1, 'x');
  EXPECT_TRUE(read_cookie_file(path).empty());
  EXPECT_TRUE(read_cookie_file(folder + "/missing.txt").empty());
  EXPECT_FALSE(write_cookie_file("/proc/quillrank/x.txt", lines));
}

TEST(CookieJar, LivesInTheUsersDataFolder) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(default_cookie_folder(), "/data/quillrank/cookies");
  ::setenv("XDG_DATA_HOME", "", 1);
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(default_cookie_folder(), std::string(home) + "/.local/share/quillrank/cookies");
  }
  ::setenv("XDG_DATA_HOME", restore.c_str(), 1);
}

}  // namespace
}  // namespace quillrank
