#include "app/batch/batch_output.h"

#include <gtest/gtest.h>

#include "app/batch/batch_options.h"

namespace quillrank {
namespace {

void fill_one_row(ResultTable& table, const std::array<std::string, kTableColumns>& cells) {
  table.insert_row(-1, cells[0]);
  for (int column = 1; column < kTableColumns; ++column)
    table.set_cell_text(0, column, cells[column]);
}

TEST(FormatResultTable, KeepsEveryTabSeparatedLineOnOneLine) {
  ResultTable table;
  fill_one_row(table, {"http://a", "k\tw\r\nx",
                       "\xB5\xDA"
                       "1\xC3\xFB",
                       "", "", ""});
  EXPECT_EQ(format_result_table(table, false),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://a\tk w  x\t第1名\t\t\t\n");
}

TEST(FormatResultTable, QuotesCsvAndDefusesFormulas) {
  ResultTable table;
  fill_one_row(table, {"http://a", "=cmd", "+1", "-2", "@x", "a,\"b\"\r\nc"});
  EXPECT_EQ(format_result_table(table, true),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso\r\n"
            "http://a,'=cmd,'+1,'-2,'@x,\"a,\"\"b\"\"\r\nc\"\r\n");
}

// Escape sequences from a page never reach a terminal or a spreadsheet whole.
TEST(FormatResultTable, ShowsControlCharactersAsReplacementCharacters) {
  ResultTable table;
  fill_one_row(table, {"http://a\x1B]0;pwned\x07", "\x1B[2J\x7F", "\tk", "\r=1", "\x01\x02", "ok"});
  EXPECT_EQ(format_result_table(table, false),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\n"
            "http://a\uFFFD]0;pwned\uFFFD\t\uFFFD[2J\uFFFD\t k\t =1\t\uFFFD\uFFFD\tok\n");
  EXPECT_EQ(format_result_table(table, true),
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
  ResultTable table;
  fill_one_row(table, {"http://a", "k", "\xB1\xBB\xC0\xB9\xBD\xD8", "", "", "x"});
  table.set_cell_text(0, 2, "\xB1\xBB\xC0\xB9\xBD\xD8", "HTTP 403");
  table.set_cell_text(0, 5, "x", "p,3");
  EXPECT_EQ(format_result_table(table, false, {true, false, false, true}),
            "网站域名\t关键词\tBaidu\tGoogle\tSogou\tSoso\tBaidu说明\tSoso说明\n"
            "http://a\tk\t被拦截\t\t\tx\tHTTP 403\tp,3\n");
  EXPECT_EQ(format_result_table(table, true, {false, false, false, true}),
            "\xEF\xBB\xBF网站域名,关键词,Baidu,Google,Sogou,Soso,Soso说明\r\n"
            "http://a,k,被拦截,,,x,\"p,3\"\r\n");
}

TEST(ParseBatchOptions, ReadsEnginesOutputFormPacingAndInput) {
  const auto defaults = std::get<BatchOptions>(parse_batch_options({}));
  EXPECT_EQ(defaults.engines, (std::array<bool, 4>{true, true, false, false}));
  EXPECT_EQ(defaults.input, "-");
  EXPECT_FALSE(defaults.csv);
  EXPECT_FALSE(defaults.delay);
  EXPECT_FALSE(defaults.retries);

  const auto chosen = std::get<BatchOptions>(parse_batch_options(
      {"-e", "SOSO,sogou", "--csv", "-o", "r.csv", "--delay", "2-5", "--retries", "0",
       "--block-pause", "30", "--details", "--config", "c.toml", "in"}));
  EXPECT_EQ(chosen.engines, (std::array<bool, 4>{false, false, true, true}));
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

TEST(ParseBatchOptions, HelpListsEveryOptionAndVersionNamesTheProgram) {
  const auto help = parse_batch_options({"--help"});
  ASSERT_TRUE(std::holds_alternative<PrintAndExit>(help));
  for (const char* option :
       {"--engines", "--output", "--csv", "--details", "--config", "--save-pages", "--delay",
        "--retries", "--block-pause", "--version", "baidu,google"}) {
    EXPECT_NE(std::get<PrintAndExit>(help).text.find(option), std::string::npos) << option;
  }
  const auto version = parse_batch_options({"--version"});
  ASSERT_TRUE(std::holds_alternative<PrintAndExit>(version));
  EXPECT_EQ(std::get<PrintAndExit>(version).text,
            std::string("quillrank-batch ") + kBatchVersion + "\n");
}

}  // namespace
}  // namespace quillrank
