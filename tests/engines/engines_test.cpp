#include "engines/engines.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

std::vector<std::string> keys(const Engines& engines) {
  std::vector<std::string> all;
  for (const Engine& engine : engines) all.push_back(engine.key);
  return all;
}

// The seed's four keep their keys, columns and ticks in both sets; the current set adds its
// extra engines after them, unticked and paced.
TEST(Engines, EachSetListsTheSeedsFourFirstAndTheCurrentSetsExtrasAfterThem) {
  const Engines& classic = builtin_engines(ProfileSet::classic);
  const Engines& current = builtin_engines(ProfileSet::current);
  EXPECT_EQ(keys(classic), (std::vector<std::string>{"baidu", "google", "sogou", "soso"}));
  EXPECT_EQ(keys(current), (std::vector<std::string>{"baidu", "google", "sogou", "soso",
                                                     "baidu_mobile", "so360", "bing_cn"}));
  EXPECT_EQ(default_ticks(classic), (EngineTicks{true, true, false, false}));
  EXPECT_EQ(default_ticks(current), (EngineTicks{true, true, false, false, false, false, false}));
  for (const Engine& engine : classic) EXPECT_EQ(engine.pacing, EnginePacing{}) << engine.key;
  for (std::size_t engine = 4; engine < current.size(); ++engine) {
    EXPECT_GE(current[engine].pacing.delay_min, 5) << current[engine].key;
    EXPECT_GT(current[engine].pacing.block_pause, 0) << current[engine].key;
  }
}

TEST(Engines, ColumnsAreTheSiteTheKeywordAndOnePerEngineInOrder) {
  const Engines& current = builtin_engines(ProfileSet::current);
  const struct {
    int column;
    std::string_view caption;
  } cases[] = {{0, "网站域名"}, {1, "关键词"}, {2, "Baidu"}, {5, "Soso"},
               {6, "百度移动"}, {8, "必应"},   {9, ""},      {-1, ""}};
  for (const auto& c : cases) EXPECT_EQ(column_caption(c.column, current), c.caption) << c.column;
  EXPECT_EQ(engine_column(0), 2);
  EXPECT_EQ(engine_index(current, "so360"), 5u);
  EXPECT_EQ(engine_index(current, "SO360"), std::nullopt);
  EXPECT_EQ(engine_keys(builtin_engines(ProfileSet::classic)), "baidu, google, sogou, soso");
}

// A new engine's key names files and tables: nothing that could leave a folder or need quoting.
TEST(Engines, AKeyIsShortLowerCaseAndStartsWithALetter) {
  const struct {
    std::string_view key;
    bool valid;
  } cases[] = {{"yandex", true},
               {"so_360", true},
               {"a", true},
               {"", false},
               {"360so", false},
               {"_x", false},
               {"Bing", false},
               {"bing-cn", false},
               {"../x", false},
               {"a b", false},
               {std::string_view("a\0b", 3), false},
               {"abcdefghijabcdefghijabcdefghij12", true},
               {"abcdefghijabcdefghijabcdefghij123", false}};
  for (const auto& c : cases) EXPECT_EQ(valid_engine_key(c.key), c.valid) << c.key;
}

}  // namespace
}  // namespace quillrank
