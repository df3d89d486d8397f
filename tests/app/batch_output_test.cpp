#include "app/batch/batch_output.h"

#include <gtest/gtest.h>

#include "app/batch/batch_options.h"

namespace quillrank {
namespace {

const Engines& classic() { return builtin_engines(ProfileSet::classic); }

// One row of the site (bare), the keyword and the four classic engines' texts and details.
void fill_one_row(RunResults& results, const std::array<std::string, 6>& cells,
                  const std::array<std::string, 4>& details = {}) {
  auto rows = std::make_shared<std::vector<QueryRow>>();
  rows->push_back({GbkText(cells[0]), GbkText(cells[1]), {}});
  results.reset(rows, std::vector<CellState>(4, CellState::querying));
  for (std::size_t engine = 0; engine < 4; ++engine) {
    RowResult result;
    result.text = GbkText(cells[engine + 2]);
    result.detail = GbkText(details[engine]);
    results.set_result(0, engine, result);
  }
}

TEST(FormatResultTable, KeepsEveryTabSeparatedLineOnOneLine) {
  RunResults table;
  fill_one_row(table, {"a", "k\tw\r\nx",
                       "\xB5\xDA"
                       "1\xC3\xFB",
                       "", "", ""});
  EXPECT_EQ(format_result_table(table, classic(), false),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://a\tk w  x\t第1名\t\t\t\n");
}

TEST(FormatResultTable, QuotesCsvAndDefusesFormulas) {
  RunResults table;
  fill_one_row(table, {"a", "=cmd", "+1", "-2", "@x", "a,\"b\"\r\nc"});
  EXPECT_EQ(format_result_table(table, classic(), true),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso\r\n"
            "http://a,'=cmd,'+1,'-2,'@x,\"a,\"\"b\"\"\r\nc\"\r\n");
}

// Escape sequences from a page never reach a terminal or a spreadsheet whole.
TEST(FormatResultTable, ShowsControlCharactersAsReplacementCharacters) {
  RunResults table;
  fill_one_row(table, {"a\x1B]0;pwned\x07", "\x1B[2J\x7F", "\tk", "\r=1", "\x01\x02", "ok"});
  EXPECT_EQ(format_result_table(table, classic(), false),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://a\uFFFD]0;pwned\uFFFD\t\uFFFD[2J\uFFFD\t k\t =1\t\uFFFD\uFFFD\tok\n");
  EXPECT_EQ(format_result_table(table, classic(), true),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso\r\n"
            "http://a\uFFFD]0;pwned\uFFFD,\uFFFD[2J\uFFFD,'\tk,\"'\r=1\",\uFFFD\uFFFD,ok\r\n");
}

// Tab-separated files for spreadsheets get the CSV's guard; plain tab-separated text does not.
TEST(FormatTextTable, GuardsTabSeparatedFormulasOnlyWhenAsked) {
  const std::vector<std::vector<std::string>> lines{
      {"=cmd", "+1", "-2", "@x", "\tk", "\r=1", "a=b", ""}};
  EXPECT_EQ(format_text_table(lines, false, true), "'=cmd\t'+1\t'-2\t'@x\t' k\t' =1\ta=b\t\n");
  EXPECT_EQ(format_text_table(lines, false), "=cmd\t+1\t-2\t@x\t k\t =1\ta=b\t\n");
  EXPECT_EQ(format_text_table(lines, true, true), format_text_table(lines, true));
}

TEST(FormatResultTable, AddsADetailColumnPerChosenEngine) {
  RunResults table;
  fill_one_row(table, {"a", "k", "\xB1\xBB\xC0\xB9\xBD\xD8", "", "", "x"},
               {"HTTP 403", "", "", "p,3"});
  EXPECT_EQ(format_result_table(table, classic(), false, {true, false, false, true}),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\tBaidu说明\tSoso说明\n"
            "http://a\tk\t被拦截\t\t\tx\tHTTP 403\tp,3\n");
  EXPECT_EQ(format_result_table(table, classic(), true, {false, false, false, true}),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso,Soso说明\r\n"
            "http://a,k,被拦截,,,x,\"p,3\"\r\n");
}

TEST(ParseBatchOptions, ReadsEnginesOutputFormPacingAndInput) {
  const auto defaults = std::get<BatchOptions>(parse_batch_options({}));
  EXPECT_EQ(defaults.engines, (std::vector<std::string>{"baidu", "google"}));
  EXPECT_EQ(defaults.input, "-");
  EXPECT_FALSE(defaults.csv);
  EXPECT_FALSE(defaults.delay);
  EXPECT_FALSE(defaults.retries);

  const auto chosen = std::get<BatchOptions>(parse_batch_options(
      {"-e", "SOSO,sogou", "--csv", "-o", "r.csv", "--delay", "2-5", "--retries", "0",
       "--block-pause", "30", "--details", "--config", "c.toml", "in"}));
  EXPECT_EQ(chosen.engines, (std::vector<std::string>{"soso", "sogou"}));
  EXPECT_TRUE(chosen.csv);
  EXPECT_TRUE(chosen.details);
  EXPECT_EQ(chosen.output, "r.csv");
  EXPECT_EQ(chosen.input, "in");
  EXPECT_EQ(chosen.config, "c.toml");
  EXPECT_EQ(chosen.delay, (std::pair<double, double>{2, 5}));
  EXPECT_EQ(chosen.retries, 0);
  EXPECT_EQ(chosen.block_pause, 30);
  EXPECT_EQ(std::get<BatchOptions>(parse_batch_options({"-"})).input, "-");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"-e", "baidu,"},
                                             {"-e", ""},
                                             {"-o"},
                                             {"-x"},
                                             {"a", "b"},
                                             {"--delay", "5-1"},
                                             {"--retries", "11"},
                                             {"--retries", "x"},
                                             {"--block-pause", "-1"},
                                             {"--block-pause", "nan"},
                                             {"--block-pause", "inf"},
                                             {"--block-pause", "1-2"}}) {
    EXPECT_TRUE(std::holds_alternative<UsageError>(parse_batch_options(bad))) << bad[0];
  }
}

// -e names engines by key, checked against the engines the settings give: those of the set,
// those the settings file adds, or all of them.
TEST(ResolveEngines, TicksTheNamedEnginesOrAllAndRefusesAnUnknownOne) {
  Engines engines = builtin_engines(ProfileSet::current);
  engines.push_back({"yandex", EngineProfile{.name = "Yandex"}, {}, false});
  const struct {
    std::vector<std::string> names;
    EngineTicks ticks;
  } cases[] = {
      {{"baidu", "google"}, {true, true, false, false, false, false, false, false}},
      {{"bing_cn", "yandex", "bing_cn"}, {false, false, false, false, false, false, true, true}},
      {{"all"}, EngineTicks(8, true)},
      {{"soso", "all"}, EngineTicks(8, true)},
  };
  for (const auto& c : cases) {
    const auto ticks = resolve_engines(c.names, engines);
    ASSERT_TRUE(std::holds_alternative<EngineTicks>(ticks)) << c.names[0];
    EXPECT_EQ(std::get<EngineTicks>(ticks), c.ticks) << c.names[0];
  }
  const auto unknown = resolve_engines({"baidu", "shenma"}, engines);
  ASSERT_TRUE(std::holds_alternative<std::string>(unknown));
  EXPECT_NE(std::get<std::string>(unknown).find("'shenma'"), std::string::npos);
  EXPECT_NE(std::get<std::string>(unknown).find("yandex"), std::string::npos) << "lists the keys";
}

TEST(ParseBatchOptions, HelpListsEveryOptionAndVersionNamesTheProgram) {
  const auto help = parse_batch_options({"--help"});
  ASSERT_TRUE(std::holds_alternative<PrintAndExit>(help));
  for (const char* option :
       {"--engines", "--output", "--csv", "--details", "--config", "--save-pages", "--delay",
        "--retries", "--block-pause", "--version", "baidu,google", "all"}) {
    EXPECT_NE(std::get<PrintAndExit>(help).text.find(option), std::string::npos) << option;
  }
  const auto version = parse_batch_options({"--version"});
  ASSERT_TRUE(std::holds_alternative<PrintAndExit>(version));
  EXPECT_EQ(std::get<PrintAndExit>(version).text,
            std::string("quillrank-batch ") + kBatchVersion + "\n");
}

}  // namespace
}  // namespace quillrank
