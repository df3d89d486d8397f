#include "settings/pool_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "settings/settings.h"
#include "settings/settings_toml.h"
#include "support/run_program.h"

namespace quillrank {
namespace {

const std::string& folder() {
  static const std::string made = [] {
    const std::string path = ::testing::TempDir() + "quillrank-pools";
    std::filesystem::create_directories(path);
    testing::write_file(path + "/list.txt",
                        "# the night shift\r\nsocks5h://u:p@b\r\n\r\n  http://c:3128\n");
    testing::write_file(path + "/bad.txt", "http://a:1\n\n#\nhttp://b:2\nhttp://u:hunter2@c:0\n");
    return path;
  }();
  return made;
}

// The top level gives every engine its pool; an engine's table replaces what it sets.
TEST(SettingsPools, TopLevelKeysGiveEveryEngineItsPoolAndEngineTablesOverrideThem) {
  struct Case {
    std::string text;
    ProxyPool first;  // baidu's
    ProxyPool rest;   // every other engine's
  };
  const ProxyPool none;
  const Case cases[] = {
      {"", none, none},
      {"proxies = ['HTTP://A:1/']", {{"http://a:1"}, false, 3}, {{"http://a:1"}, false, 3}},
      {"proxies = ['http://a:1']\ndirect = true\nproxy_failures = 5\n[engine.baidu]\n"
       "proxies = ['socks5h://u:p%40@b']\nproxy_failures = 1",
       {{"socks5h://u:p%40@b:1080"}, true, 1},
       {{"http://a:1"}, true, 5}},
      // An engine's empty list takes it off the pool: it asks from the machine's own address.
      {"proxies = ['http://a:1']\n[engine.baidu]\nproxies = []", none, {{"http://a:1"}, false, 3}},
      // The list's entries, then the file's.
      {"[engine.baidu]\nproxies = ['http://a:1']\nproxy_file = 'list.txt'",
       {{"http://a:1", "socks5h://u:p@b:1080", "http://c:3128"}, false, 3},
       none},
      {"proxy_file = '" + folder() + "/list.txt'\ndirect = true",
       {{"socks5h://u:p@b:1080", "http://c:3128"}, true, 3},
       {{"socks5h://u:p@b:1080", "http://c:3128"}, true, 3}},
  };
  for (const Case& c : cases) {
    const auto parsed = parse_settings(c.text, folder() + "/q.toml");
    ASSERT_TRUE(std::holds_alternative<Settings>(parsed)) << std::get<std::string>(parsed);
    const Engines& engines = std::get<Settings>(parsed).engines;
    EXPECT_EQ(engines[0].pool, c.first) << c.text;
    for (std::size_t i = 1; i < engines.size(); ++i) {
      // An engine the browser renders asks through the system proxy alone.
      const bool browser = engines[i].profile.fetch == FetchKind::browser;
      const ProxyPool system_proxy{{}, true, c.rest.failures};
      EXPECT_EQ(engines[i].pool, browser ? system_proxy : c.rest) << c.text << engines[i].key;
    }
  }
}

TEST(SettingsPools, NamesTheFileLineAndEntryOfAWrongProxyAndNeverItsPassword) {
  const std::string second = builtin_engines(kDefaultProfileSet)[2].key;
  const std::pair<std::string, std::string> wrong[] = {
      {"proxies = 'http://a'", "q.toml:1: proxies must be an array of proxy URL texts"},
      {"proxies = [\n  'http://a:1',\n  'http://u:hunter2@b:0',\n]",
       "q.toml:3: proxies: entry 2: 'http://u:****@b:0': port must be 1 to 65535"},
      {"[engine.baidu]\nproxies = [1]", "q.toml:2: proxies: entry 1: must be a proxy URL text"},
      {"proxies = ['http://bob:****@h']",
       "q.toml:1: proxies: entry 1: 'http://bob:****@h': password is ****, the mask "
       "--print-config writes: write the real password back"},
      {"proxies = ['http://a', 'HTTP://A:80']", "q.toml:1: proxy http://a:80 is listed twice"},
      {"direct = 'yes'", "q.toml:1: direct must be true or false"},
      {"proxy_failures = 0", "q.toml:1: proxy_failures must be 1 to 100"},
      {"[engine.baidu]\nproxy_failures = 101", "q.toml:2: proxy_failures must be 1 to 100"},
      {"[engine.baidu]\nproxies = ['http://a']\n[engine." + second + "]\ndirect = false",
       "q.toml:4: engine " + second +
           ": direct = false and no proxies: nothing to ask the engine through"},
      {"direct = false\n[engine.baidu]\nproxies = ['http://a']",
       "q.toml:1: engine " + second +
           ": direct = false and no proxies: nothing to ask the engine through"},
      {"proxy_file = ''", "q.toml:1: proxy_file must be a file name text"},
      {"[engine.google]\nfetch = 'browser'\nproxies = ['http://a:1']",
       "q.toml:1: engine google: fetch = \"browser\" asks through the system proxy alone; it "
       "takes no proxies"},
      {"proxy_file = 'absent.txt'", "q.toml:1: proxy_file: cannot read absent.txt"},
      {"proxy_file = '/dev/zero'", "q.toml:1: proxy_file: cannot read /dev/zero"},
  };
  for (const auto& [text, message] : wrong) {
    const auto parsed = parse_settings(text, "q.toml");
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text;
    EXPECT_EQ(std::get<std::string>(parsed), message);
  }
  // A proxy file's problem names the file (beside the settings file) and its line.
  const auto bad = parse_settings("proxy_file = 'bad.txt'", folder() + "/q.toml");
  ASSERT_TRUE(std::holds_alternative<std::string>(bad));
  EXPECT_EQ(std::get<std::string>(bad),
            folder() + "/bad.txt:5: 'http://u:****@c:0': port must be 1 to 65535");
}

// --print-config writes every engine's pool; a printed password is the mask, which reads back
// as an error until the real one is written in.
TEST(SettingsPools, PrintConfigWritesEachPoolWithItsPasswordsHidden) {
  const auto open = parse_settings(
      "proxies = ['socks5://u@a', 'http://[::1]:8080']\nproxy_failures = 7\n[engine.baidu]\n"
      "direct = true",
      "q.toml");
  ASSERT_TRUE(std::holds_alternative<Settings>(open)) << std::get<std::string>(open);
  const std::string printed = settings_as_toml(std::get<Settings>(open));
  const auto again = parse_settings(printed, "printed.toml");
  ASSERT_TRUE(std::holds_alternative<Settings>(again)) << std::get<std::string>(again);
  EXPECT_EQ(std::get<Settings>(again).engines, std::get<Settings>(open).engines);
  EXPECT_EQ(printed.find("hidden"), std::string::npos);

  const auto secret = parse_settings("proxies = ['http://bob:hunter2@a:1']", "q.toml");
  ASSERT_TRUE(std::holds_alternative<Settings>(secret));
  const std::string masked = settings_as_toml(std::get<Settings>(secret));
  EXPECT_EQ(masked.find("hunter2"), std::string::npos);
  EXPECT_NE(masked.find("proxies = ['http://bob:****@a:1']"), std::string::npos);
  EXPECT_NE(masked.find("# the passwords are hidden as ****: write the real ones back"),
            std::string::npos);
  const auto unmasked = parse_settings(masked, "printed.toml");
  ASSERT_TRUE(std::holds_alternative<std::string>(unmasked));
  EXPECT_NE(std::get<std::string>(unmasked).find("password is ****"), std::string::npos);
}

}  // namespace
}  // namespace quillrank
