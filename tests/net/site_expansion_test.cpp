#include "net/site_expansion.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "net/page_fetcher.h"
#include "support/expansion_reference.h"
#include "support/fake_pages.h"
#include "support/fixture_server.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

using Words = std::vector<GbkText>;

GbkText gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

std::vector<GbkText> split_lines(std::string_view text) {
  std::vector<GbkText> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find("\r\n", begin)) != std::string_view::npos;
       begin = end + 2) {
    lines.emplace_back(text.substr(begin, end - begin));
  }
  lines.emplace_back(text.substr(begin));
  return lines;
}

// A home page as a GBK site writes it, declared gb2312 unless told; title and keywords given in
// UTF-8.
std::string gbk_home(std::string_view title, std::string_view keywords,
                     std::string_view charset = "gb2312") {
  return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
         std::string(charset) + "\"><title>" + gbk(title) +
         "</title><meta name=\"keywords\" content=\"" + gbk(keywords) +
         "\"></head><body></body></html>";
}

std::string utf8_home(std::string_view title, std::string_view keywords,
                      std::string_view declaration = "<meta charset=\"utf-8\">") {
  return "<html><head>" + std::string(declaration) + "<title>" + std::string(title) +
         "</title><meta name=\"keywords\" content=\"" + std::string(keywords) + "\"></head></html>";
}

// Serves pages by URL from a map (anything else fails) and records every URL asked for.
struct FakeSites {
  std::map<std::string, std::string, std::less<>> pages;
  std::vector<std::string> fetched;

  PageSource fetch() {
    return [this](std::string_view url, std::stop_token) {
      fetched.emplace_back(url);
      const auto it = pages.find(url);
      return it == pages.end() ? testing::unreachable() : testing::served(it->second);
    };
  }
};

TEST(CollectSegments, ListsEntriesInOrderOfFirstOccurrence) {
  struct Case {
    const char* what;
    std::string text;
    Words expected;
  };
  const Case cases[] = {
      {"no brackets", "a|b\r\nc|d", {}},
      {"repeats listed once", "[b]x[a]\r\n[b]", {"[b]", "[a]"}},
      {"letter case tells entries apart", "[A][a]", {"[A]", "[a]"}},
      {"a [ without ] ends the list", "[a][b\r\n[c", {"[a]"}},
      {"an inner [ belongs to the entry", "[a[b]c]", {"[a[b]"}},
      {"a second byte ] closes nothing", "[\x81]x]", {"[\x81]x]"}},
      {"a second byte [ opens nothing", "\x81[x][y]", {"[y]"}},
      {"removal joins a new copy, which is listed again", "[a][[a]a]", {"[a]", "[a]"}},
  };
  for (const Case& c : cases) EXPECT_EQ(collect_segments(c.text, '[', ']'), c.expected) << c.what;
}

TEST(CollectSegments, AgreesWithStepByStepRemovalOnRandomTexts) {
  std::mt19937 rng(11);
  for (int i = 0; i < 4000; ++i) {
    const std::string text =
        reference::random_marker_text(rng, rng() % 40, reference::entry_pieces());
    ASSERT_EQ(collect_segments(text, '[', ']'), reference::collect_segments(text, "[", "]"))
        << ::testing::PrintToString(text);
  }
}

TEST(ReadPageTitle, CutsBetweenTheTitleTags) {
  EXPECT_EQ(read_page_title("<head><title>Quill</title>"), "Quill");
  EXPECT_EQ(read_page_title("<TITLE>Quill</Title>"), "Quill");
  // No "<title>" marker: the page from its sixth byte up to "</title>".
  EXPECT_EQ(read_page_title("<title lang=en>Quill</title>"), "e lang=en>Quill");
  EXPECT_EQ(read_page_title("<title>Quill"), "");
}

TEST(SiteWords, SplitsTitleAndKeywordsIntoWordsListedOnce) {
  struct Case {
    const char* what;
    std::string title, keywords;
    Words expected;
  };
  const Case cases[] = {
      {"title A-B, keywords B,C", "A-B", "B,C", {"A", "B", "C"}},
      {"both empty", "", "", {""}},
      {"a leading - gives no empty word", "-Name", "", {"Name"}},
      {"words are not trimmed", "Name - Slogan", "", {"Name ", " Slogan"}},
      {"repetitions ignore letter case", "SEO", "seo,Seo,rank", {"SEO", "rank"}},
      {"a word also goes where it ends a longer one", "b", "b,ab,c", {"b", "ac"}},
      {"three bars leave an empty word, which ends the list", "a|||b", "c", {"a", ""}},
      {"line breaks stay inside a word", "one\r\ntwo", "", {"one\r\ntwo"}},
      {"full-width punctuation is no separator", gbk("甲，乙"), "", {gbk("甲，乙")}},
      {"Chinese title and keywords",
       gbk("甲乙_丙丁"),
       gbk("甲乙,戊己"),
       {gbk("甲乙"), gbk("丙丁"), gbk("戊己")}},
  };
  for (const Case& c : cases) EXPECT_EQ(site_words(c.title, c.keywords), c.expected) << c.what;
}

TEST(SiteWords, AgreesWithStepByStepRemovalOnRandomTexts) {
  std::mt19937 rng(13);
  for (int i = 0; i < 4000; ++i) {
    const std::string title =
        reference::random_marker_text(rng, rng() % 12, reference::word_pieces());
    const std::string keywords =
        reference::random_marker_text(rng, rng() % 30, reference::word_pieces());
    ASSERT_EQ(site_words(title, keywords), reference::site_words(title, keywords))
        << ::testing::PrintToString(title) << " " << ::testing::PrintToString(keywords);
  }
}

TEST(ExpandSiteEntries, RewritesTheBoxAndFetchesEachDistinctEntryOnce) {
  struct Case {
    const char* what;
    std::string box;
    std::string expected;
    std::vector<std::string> fetched;
  };
  const Case cases[] = {
      {"no entry: unchanged, nothing fetched",
       "a.example|seo\r\nb.example|rank",
       "a.example|seo\r\nb.example|rank",
       {}},
      {"a [ without ]: unchanged, nothing fetched",
       "x|y\r\n[http://a.example",
       "x|y\r\n[http://a.example",
       {}},
      {"the same entry twice",
       "[http://a.example]\r\n[http://a.example]",
       "a.example|A\r\na.example|B\r\na.example|A\r\na.example|B",
       {"http://a.example"}},
      {"two entries on one line, text beside them stays",
       "x [http://a.example] y [http://c.example] z",
       "x a.example|A\r\na.example|B y c.example|C z",
       {"http://a.example", "http://c.example"}},
      {"HTTP:// in upper case",
       "[HTTP://a.example]",
       "a.example|A\r\na.example|B",
       {"http://a.example"}},
      {"an https:// entry is fetched over https",
       "[https://s.example]",
       "s.example|Secure",
       {"https://s.example"}},
      {"a failed fetch leaves the entry",
       "[http://down.example]",
       "[http://down.example]",
       {"http://down.example"}},
      {"a page without title and keywords leaves the entry",
       "[http://bare.example]\r\n[http://c.example]",
       "[http://bare.example]\r\nc.example|C",
       {"http://bare.example", "http://c.example"}},
      {"the next line follows after one CR LF",
       "[http://c.example]\r\nnext.example|kw",
       "c.example|C\r\nnext.example|kw",
       {"http://c.example"}},
      {"an empty entry", "[]", "[]", {"http://"}},
      {"blanks dropped inside keywords",
       "[http://tools.example]",
       "tools.example|Quill\r\ntools.example|seotools\r\ntools.example|rankcheck",
       {"http://tools.example"}},
      {"a GBK page declared gbk is not converted",
       "[gbk.example]",
       "gbk.example|\xD6\xD0\xCE\xC4",
       {"http://gbk.example"}},
      {"a description mentioning keywords supplies them",
       "[http://desc.example]",
       "desc.example|D\r\ndesc.example|bestkeywordshere",
       {"http://desc.example"}},
  };
  for (const Case& c : cases) {
    FakeSites sites;
    sites.pages["http://a.example"] = gbk_home("A-B", "B");
    sites.pages["http://c.example"] = gbk_home("C", "");
    sites.pages["http://bare.example"] = "<html><title> </title></html>";
    sites.pages["http://gbk.example"] = gbk_home("中文", "", "GBK");
    sites.pages["https://s.example"] = utf8_home("Secure", "");
    sites.pages["http://tools.example"] = utf8_home("Quill", "seo tools,rank check");
    sites.pages["http://desc.example"] =
        "<title>D</title><meta name=\"description\" content=\"best keywords here\">"
        "<meta name=\"keywords\" content=\"x,y\">";
    EXPECT_EQ(expand_site_entries(c.box, sites.fetch()), c.expected) << c.what;
    EXPECT_EQ(sites.fetched, c.fetched) << c.what;
  }
}

// Lines of an earlier entry that spell a later entry, next to each other or joined by the
// later entry's own closing brackets, are expanded as the later entry.
TEST(ExpandSiteEntries, LinesThatSpellLaterEntries) {
  struct Case {
    std::string box;
    std::map<std::string, std::string, std::less<>> titles;  // by URL
    std::string expected;  // empty: as the step-by-step statement gives
  };
  const Case cases[] = {
      {"[a]\r\n[b]\r\n[a]", {{"http://a", "[b] ]"}, {"http://b", "[b]]\r\n_"}}, ""},
      {"|\r\n|[b][a]b[b]]", {{"http://b", "][b]b"}, {"http://a", "[a][a]aa"}}, ""},
      {"[y][x]", {{"http://y", "[x][x]"}, {"http://x", "a]]"}}, "y|x|a]]x|a]]x|a]]"},
      {"[y]|k\r\n[x]|k", {{"http://y", "[x] and [x]"}, {"http://x", "Shop]]"}}, ""},
  };
  for (const Case& c : cases) {
    FakeSites sites;
    for (const auto& [url, title] : c.titles) sites.pages[url] = "<title>" + title + "</title>";
    const GbkText expanded = expand_site_entries(c.box, sites.fetch());
    EXPECT_EQ(expanded, reference::expand_site_entries(c.box, sites.fetch())) << c.box;
    if (!c.expected.empty()) {
      EXPECT_EQ(expanded, c.expected) << c.box;
    }
  }
}

// A home page with a huge title or thousands of keywords gives at most so many lines, and the
// entry is reported as cut.
TEST(ExpandSiteEntries, KeepsAtMostSoManyWordsPerEntry) {
  std::string many;
  for (int i = 0; i < 1500; ++i) many += "k" + std::to_string(i) + ",";
  FakeSites sites;
  sites.pages["http://many.example"] =
      "<title>t</title><meta name=\"keywords\" content=\"" + many + "\">";
  sites.pages["http://long.example"] = "<title>" + std::string(100000, 'w') + "</title>";
  sites.pages["http://fine.example"] = gbk_home("A-B", "C");
  ExpansionReport report;
  const GbkText box = expand_site_entries("[many.example]\r\n[long.example]\r\n[fine.example]",
                                          sites.fetch(), {}, &report);
  const std::vector<GbkText> lines = split_lines(box);
  EXPECT_EQ(lines.size(), kMaxSiteWords + 1 + 3);
  EXPECT_EQ(lines[0], "many.example|t");
  EXPECT_EQ(lines[kMaxSiteWords - 1], "many.example|k998");
  EXPECT_EQ(lines[kMaxSiteWords], "long.example|" + std::string(kMaxSiteWordBytes, 'w'));
  EXPECT_EQ(report.cut_entries, (std::vector<GbkText>{"[many.example]", "[long.example]"}));
  EXPECT_FALSE(report.too_large);
}

// Lines that name later entries multiply: past the size limit nothing is expanded.
TEST(ExpandSiteEntries, StopsBeforeTheTextPassesTheSizeLimit) {
  auto naming = [](const std::string& entry) {
    std::string title;
    for (int i = 0; i < 1000; ++i) title += entry + std::to_string(i) + ",";
    return "<title>" + title + "</title>";
  };
  FakeSites sites;
  sites.pages["http://a"] = naming("[b]");
  sites.pages["http://b"] = naming("[c]");
  sites.pages["http://c"] = naming("x");
  const std::string box = "[a]\r\n[b]\r\n[c]";
  ExpansionReport report;
  EXPECT_EQ(expand_site_entries(box, sites.fetch(), {}, &report), box);
  EXPECT_TRUE(report.too_large);
}

TEST(ExpandSiteEntries, AgreesWithStepByStepExpansionOnRandomBoxes) {
  std::mt19937 rng(17);
  for (int i = 0; i < 1500; ++i) {
    const std::string box =
        reference::random_marker_text(rng, rng() % 30, reference::entry_pieces());
    // Each URL gets its own random page, the same every time it is asked for.
    std::map<std::string, std::string, std::less<>> pages;
    const std::uint32_t seed = rng();
    const PageSource fetch = [&](std::string_view url, std::stop_token) {
      auto [it, fresh] = pages.try_emplace(std::string(url));
      if (fresh) {
        std::mt19937 page_rng(seed ^
                              static_cast<std::uint32_t>(std::hash<std::string_view>{}(url)));
        it->second = reference::random_marker_text(page_rng, page_rng() % 40);
      }
      return testing::served(it->second);
    };
    ASSERT_EQ(expand_site_entries(box, fetch), reference::expand_site_entries(box, fetch))
        << ::testing::PrintToString(box);
  }
}

// The fetcher itself, against home pages served on 127.0.0.1.
TEST(ExpandSiteEntries, ExpandsHomePagesFetchedOverHttp) {
  testing::FixtureServer server([](const testing::HttpRequest& request) {
    if (request.target == "/gbk")
      return testing::HttpReply{.body = gbk_home("甲乙_丙丁", "甲乙,戊己")};
    if (request.target == "/utf8") return testing::HttpReply{.body = utf8_home("中文-站点", "seo")};
    if (request.target == "/plain") return testing::HttpReply{.body = utf8_home("无声明", "", "")};
    return testing::HttpReply{.status = 404, .reason = "Not Found", .body = "<p>gone</p>"};
  });
  const std::string site = "127.0.0.1:" + std::to_string(server.port());
  const std::string down = "127.0.0.1:" + std::to_string(testing::refused_port());
  const std::string box = "[http://" + site + "/gbk]\r\n[http://" + site + "/utf8]\r\n[http://" +
                          site + "/plain]\r\n[http://" + site + "/missing]\r\n[http://" + down +
                          "/]\r\n[http://" + site + "/gbk]";
  const PageSource fetch = PageFetcher::source();
  const std::string g = site + "/gbk|";
  const std::string expected_gbk = g + gbk("甲乙\r\n") + g + gbk("丙丁\r\n") + g + gbk("戊己");
  ExpansionReport report;
  EXPECT_EQ(expand_site_entries(box, fetch, {}, &report),
            expected_gbk + "\r\n" + site + "/utf8|" + gbk("中文") + "\r\n" + site + "/utf8|" +
                gbk("站点") + "\r\n" + site + "/utf8|seo\r\n" + site + "/plain|" + gbk("无声明") +
                "\r\n[http://" + site + "/missing]\r\n[http://" + down + "/]\r\n" + expected_gbk);
  // A page that is no page (404) and a refused connection are reported with why.
  ASSERT_EQ(report.failed.size(), 2u);
  EXPECT_EQ(report.failed[0].entry, "[http://" + site + "/missing]");
  EXPECT_NE(gbk_to_utf8(report.failed[0].reason).find("HTTP 404"), std::string::npos);
  EXPECT_EQ(report.failed[1].entry, "[http://" + down + "/]");
  EXPECT_NE(gbk_to_utf8(report.failed[1].reason).find("连接失败"), std::string::npos);
  std::vector<std::string> targets;
  for (const testing::HttpRequest& request : server.requests()) targets.push_back(request.target);
  EXPECT_EQ(targets, (std::vector<std::string>{"/gbk", "/utf8", "/plain", "/missing"}));
}

}  // namespace
}  // namespace quillrank
