// Engine profiles in the settings file: every field read into its engine's profile, the
// messages for what is wrong, and --print-config's text reading back as what it printed.
#include "settings/profile_fields.h"

#include <gtest/gtest.h>

#include <functional>

#include "engines/builtin_profiles.h"
#include "settings/settings.h"
#include "settings/settings_toml.h"

namespace quillrank {
namespace {

Settings parsed(const std::string& text) {
  auto result = parse_settings(text, "q.toml");
  if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error << "\n" << text;
  return std::get_if<Settings>(&result) ? std::get<Settings>(result) : Settings{};
}

TEST(ProfileFields, AnEmptyFileKeepsTheBuiltInProfilesByteForByte) {
  const auto profiles = [](const Engines& engines) {
    std::vector<EngineProfile> all;
    for (const Engine& engine : engines) all.push_back(engine.profile);
    return all;
  };
  EXPECT_EQ(profiles(parsed("").engines), profiles(builtin_engines(kDefaultProfileSet)));
  EXPECT_EQ(profiles(parsed("delay = 1\n[engine.sogou]\nretries = 2\n").engines),
            profiles(builtin_engines(kDefaultProfileSet)));
}

TEST(ProfileFields, EachFieldChangesOnlyItsEnginesProfile) {
  using Check = std::function<bool(const EngineProfile&)>;
  struct Case {
    std::string line;
    Check check;
  };
  const Case cases[] = {
      {"name = '百度'", [](auto& p) { return p.name == "百度"; }},
      {"scheme = 'https'", [](auto& p) { return p.scheme == "https"; }},
      {"host = 'www.example.com:8080'", [](auto& p) { return p.host == "www.example.com:8080"; }},
      {"query_path = '/s?ie=utf-8&wd='", [](auto& p) { return p.query_path == "/s?ie=utf-8&wd="; }},
      {"page_key = ''", [](auto& p) { return p.page_key.empty(); }},
      {"page_value = 'number'", [](auto& p) { return p.page_value == PageValue::number; }},
      {"page_size = 10", [](auto& p) { return p.page_size == 10; }},
      {"query_tail = '&rn=50'", [](auto& p) { return p.query_tail == "&rn=50"; }},
      {"page_count = 100", [](auto& p) { return p.page_count == 100; }},
      {"keyword_encoding = 'utf-8'",
       [](auto& p) { return p.keyword_encoding == KeywordEncoding::utf8; }},
      {"link_prefix = ' mu='", [](auto& p) { return p.link_prefix == " mu="; }},
      {"link_schemes = ['http://', 'https://']",
       [](auto& p) {
         return p.link_schemes == std::vector<std::string>{"http://", "https://"};
       }},
      {"segment_end = ''", [](auto& p) { return p.segment_end.empty(); }},
      {"rank_left = '\"p1\":'", [](auto& p) { return p.rank_left == "\"p1\":"; }},
      {"rank_right = ','", [](auto& p) { return p.rank_right == ","; }},
      {"rank_rule = 'link_ordinal'", [](auto& p) { return p.rank_rule == RankRule::link_ordinal; }},
      {"headers = { Accept-Language = 'zh-CN', Cookie = 'A=1; B=2' }",
       [](auto& p) {
         return p.headers == std::vector<std::string>{"Accept-Language: zh-CN", "Cookie: A=1; B=2"};
       }},
      {"user_agent = 'Mozilla/5.0 (X11; Linux x86_64)'",
       [](auto& p) { return p.user_agent == "Mozilla/5.0 (X11; Linux x86_64)"; }},
      {"block_addresses = []", [](auto& p) { return p.signatures.block_addresses.empty(); }},
      {"block_signatures = ['网络不给力']",
       [](auto& p) { return p.signatures.block_texts == std::vector<std::string>{"网络不给力"}; }},
      {"extend_block_signatures = ['网络不给力']",
       [](auto& p) {
         return p.signatures.block_texts ==
                std::vector<std::string>{"百度安全验证", "passMod_", "网络不给力"};
       }},
      {"no_results_signatures = ['x'] \nextend_no_results_signatures = ['y']",
       [](auto& p) {
         return p.signatures.no_results_texts == std::vector<std::string>{"x", "y"};
       }},
      {"results_from = 'id=\"content_left\"'",
       [](auto& p) { return p.results_from == "id=\"content_left\""; }},
      {"results_to = 'id=\"page\"'", [](auto& p) { return p.results_to == "id=\"page\""; }},
      {"page_value = 'counted'", [](auto& p) { return p.page_value == PageValue::counted; }},
      {"rank_rule = 'card_number'", [](auto& p) { return p.rank_rule == RankRule::card_number; }},
      {"rank_rule = 'result_count'", [](auto& p) { return p.rank_rule == RankRule::result_count; }},
      {"http_version = '2'", [](auto& p) { return p.http_version == HttpVersion::http2; }},
      {"http_version = '1.1'", [](auto& p) { return p.http_version == HttpVersion::http1_1; }},
      {"accept_encoding = 'gzip, br'", [](auto& p) { return p.accept_encoding == "gzip, br"; }},
      {"session = true", [](auto& p) { return p.session; }},
      {"cookies = true", [](auto& p) { return p.cookies; }},
      {"warm_up = true", [](auto& p) { return p.warm_up; }},
      {"home_page = 'https://www.baidu.com/'",
       [](auto& p) { return p.home_page == "https://www.baidu.com/"; }},
      {"extend_block_addresses = ['/verify']",
       [](auto& p) { return p.signatures.block_addresses.back() == "/verify"; }},
  };
  for (const Case& c : cases) {
    const Settings settings = parsed("profiles = 'classic'\n[engine.baidu]\n" + c.line + "\n");
    EXPECT_TRUE(c.check(settings.engines[0].profile)) << c.line;
    EXPECT_NE(settings.engines[0].profile, kBaidu) << c.line;
    for (std::size_t engine = 1; engine < settings.engines.size(); ++engine) {
      EXPECT_EQ(settings.engines[engine].profile,
                builtin_engines(ProfileSet::classic)[engine].profile)
          << c.line;
    }
  }
}

TEST(ProfileFields, SaysWhichFileLineAndFieldIsWrong) {
  const std::pair<std::string, std::string> cases[] = {
      {"[engine.baidu]\nhots = 'x'\n", "q.toml:2: unknown key 'hots'"},
      {"[engine.baidu]\npage_size = '10'\n", "q.toml:2: page_size must be a whole number"},
      {"[engine.sogou]\n\nrank_rule = 'position'\n",
       "q.toml:3: rank_rule must be one of next_id_minus_one, verbatim, page_offset_plus_index, "
       "link_ordinal, result_count, card_number"},
      {"[engine.soso]\npage_count = 0\n", "q.toml:2: page_count must be 1 to 100"},
      {"[engine.soso]\npage_size = 1001\n", "q.toml:2: page_size must be 1 to 1000"},
      {"[engine.baidu]\nscheme = 'ftp'\n", "q.toml:2: scheme must be one of http, https"},
      {"[engine.baidu]\nfetch = 'chrome'\n", "q.toml:2: fetch must be one of http, browser"},
      {"[engine.google]\nrender_seconds = 0\n", "q.toml:2: render_seconds must be 1 to 300"},
      {"[engine.google]\nready_selector = \"a\\nb\"\n",
       "q.toml:2: ready_selector must not hold control characters"},
      {"[engine.baidu]\nkeyword_encoding = 'utf8'\n",
       "q.toml:2: keyword_encoding must be one of gbk, utf-8"},
      {"[engine.baidu]\npage_value = 2\n",
       "q.toml:2: page_value must be one of offset, number, counted"},
      {"[engine.baidu]\nhost = 'www.baidu.com/x'\n",
       "q.toml:2: host must be a host name (letters, digits, '.', '-', '_', ':', '[', ']')"},
      {"[engine.baidu]\nquery_path = '/s?wd= '\n",
       "q.toml:2: query_path must not hold blanks or control characters"},
      {"[engine.baidu]\nlink_prefix = ''\n", "q.toml:2: link_prefix must not be empty"},
      {"[engine.baidu]\nname = 1\n", "q.toml:2: name must be a text"},
      {"[engine.baidu]\nlink_schemes = []\n", "q.toml:2: link_schemes must hold at least one text"},
      {"[engine.baidu]\nlink_schemes = 'https://'\n",
       "q.toml:2: link_schemes must be a list of texts"},
      {"[engine.baidu]\nblock_signatures = ['']\n",
       "q.toml:2: block_signatures must be a list of texts, none empty"},
      {"[engine.baidu]\nuser_agent = \"a\\r\\nX-Injected: 1\"\n",
       "q.toml:2: user_agent must not hold control characters"},
      {"[engine.baidu]\nheaders = { Cookie = \"a\\nb\" }\n",
       "q.toml:2: header Cookie must not hold control characters"},
      {"[engine.baidu]\nheaders = { Connection = 'keep-alive' }\n",
       "q.toml:2: headers: 'Connection' is set by the program (for the User-Agent use "
       "user_agent)"},
      {"[engine.baidu]\nheaders = { Cookie = 1 }\n",
       "q.toml:2: headers must map header names to texts"},
      {"[engine.baidu]\nheaders = ['Cookie: a']\n",
       "q.toml:2: headers must be a table of header names and texts"},
      {"host = 'www.example.com'\n",
       "q.toml:1: host belongs in an engine's table, e.g. [engine.baidu]"},
  };
  for (const auto& [text, expected] : cases) {
    const auto result = parse_settings(text, "q.toml");
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << text;
    EXPECT_EQ(std::get<std::string>(result), expected);
  }
}

TEST(SettingsAsToml, ReadsBackAsWhatItPrinted) {
  const std::string changed =
      "retries = 0\ndelay = '0.00001-2'\nhistory = false\nhistory_path = '/tmp/h "
      "\"1\".sqlite3'\n[engine.baidu]\nname = "
      "'百度 \"today\"'\nscheme = 'https'\ndelay = '1.5-4'\n"
      "keyword_encoding = 'utf-8'\nlink_schemes = ['http://', 'https://']\n"
      "rank_rule = 'link_ordinal'\nheaders = { Accept-Language = 'zh-CN', Cookie = 'BAIDUID=x' }\n"
      "user_agent = 'Mozilla/5.0'\nextend_block_signatures = ['网络不给力']\n"
      "[engine.soso]\nblock_pause = 30\nno_results_signatures = []\nrank_left = \"\\t'\"\n"
      "[engine.yandex]\nhost = 'yandex.com'\nquery_path = '/search/?text='\n"
      "link_prefix = ' href='\n";
  for (const Settings& settings : {Settings{}, parsed(changed)}) {
    const std::string text = settings_as_toml(settings);
    const Settings read = parsed(text);
    // Every engine, the ones the file added too: key, profile, pacing and tick.
    EXPECT_EQ(read.engines, settings.engines) << text;
    EXPECT_EQ(read.history, settings.history);
    EXPECT_EQ(read.history_path, settings.history_path);
  }
}

TEST(SettingsAsToml, ExplainsEveryKeyItWrites) {
  const std::string text = settings_as_toml(Settings{});
  for (const ProfileField& field : profile_fields()) {
    if (!field.write) continue;
    EXPECT_NE(text.find("# " + std::string(field.help) + "\n" + std::string(field.key) + " = "),
              std::string::npos)
        << field.key;
  }
}

}  // namespace
}  // namespace quillrank
