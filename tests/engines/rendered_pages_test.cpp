// The current Google profile on Google pages as a browser holds them (tests/fixtures/
// engines-rendered): a rendered result page of March 2025, whose <noscript> still points at the
// JavaScript wall, and the captcha page Google answers a flagged client with.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engines/builtin_profiles.h"
#include "engines/engine_worker.h"
#include "engines/page_verdict.h"
#include "support/fake_pages.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

const std::string kSource = QUILLRANK_SOURCE_DIR;

std::string fixture(const std::string& name) {
  std::ifstream file(kSource + "/tests/fixtures/engines-rendered/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  EXPECT_TRUE(file) << name;
  return text.str();
}

TEST(RenderedPages, TheEnableJsNoticeBlocksOnlyAPageWithoutResultLinks) {
  const std::string page = fixture("google-rendered-results.html");
  const std::size_t results = page.find("<div id=\"result-stats\">");
  ASSERT_NE(page.find("/httpservice/retry/enablejs"), std::string::npos);
  ASSERT_LT(page.find("<noscript>"), results);

  EXPECT_EQ(judge_page(kCurrentGoogle, testing::served(page)).verdict, Verdict::result);
  // The same page cut before its results: the notice alone is the wall.
  const PageVerdict head = judge_page(kCurrentGoogle, testing::served(page.substr(0, results)));
  EXPECT_EQ(head.verdict, Verdict::blocked);
  EXPECT_NE(gbk_to_utf8(head.reason).find("enablejs"), std::string::npos);
}

TEST(RenderedPages, OrganicResultsRankByTheirPlaceOnThePage) {
  const EngineProfile profile = kCurrentGoogle;
  const std::string page = fixture("google-rendered-results.html");
  // Ten links of the shape: eight organic results and two "People also ask" answers (which the
  // browser takes out before the page is read; here they are still in).
  EXPECT_EQ(results_held(profile, page, 0), 10);
  struct Place {
    const char* site;
    int page;  // as which result page (start=(page-1)*10) the fixture is read
    int rank;  // -1: no link to the site
    const char* address;
  };
  const Place places[] = {
      {"www.synthesia.io", 1, 1, "https://www.synthesia.io/post/ai-tools"},
      {"aitoolsdirectory.com", 1, 2, "https://aitoolsdirectory.com/"},
      {"zapier.com/blog", 1, 3, "https://zapier.com/blog/best-ai-productivity-tools/"},
      // After a block of short videos and one of videos, which hold no such link.
      {"cloud.google.com", 1, 4, "https://cloud.google.com/use-cases/free-ai-tools"},
      {"aitoptools.com", 1, 5, "https://aitoptools.com/"},
      {"zapier.com", 2, 13, "https://zapier.com/blog/best-ai-productivity-tools/"},
      {"google.com", 1, -1, ""},  // only ai.google and cloud.google.com link here
  };
  for (const Place& p : places) {
    const FoundLink link = find_site_link(profile, page, p.site);
    if (p.rank < 0) {
      EXPECT_EQ(link.at, -1) << p.site;
      continue;
    }
    ASSERT_NE(link.at, -1) << p.site;
    EXPECT_EQ(read_rank(profile, page, link, p.page).rank, p.rank) << p.site;
    EXPECT_EQ(link_address(profile, page, link), p.address) << p.site;
  }
}

TEST(RenderedPages, TheCaptchaPageIsABlockWhereverItArrives) {
  const std::string captcha = fixture("google-captcha.html");
  FetchedPage at_sorry = testing::served(captcha);
  at_sorry.redirects = {"https://www.google.com/sorry/index?continue=https://www.google.com/"};
  at_sorry.final_url = at_sorry.redirects.front();
  const std::pair<FetchedPage, const char*> cases[] = {
      {testing::served(captcha), "captcha-form"},       // served in place, 200
      {testing::served(captcha, 429), "HTTP 429"},      // as the status it came with
      {at_sorry, "https://www.google.com/sorry/index"}  // after the redirect
  };
  for (const auto& [fetched, reason_part] : cases) {
    const PageVerdict verdict = judge_page(kCurrentGoogle, fetched);
    EXPECT_EQ(verdict.verdict, Verdict::blocked) << reason_part;
    EXPECT_NE(gbk_to_utf8(verdict.reason).find(reason_part), std::string::npos)
        << gbk_to_utf8(verdict.reason);
  }
}

}  // namespace
}  // namespace quillrank
