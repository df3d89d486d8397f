#include "engines/page_verdict.h"

#include <gtest/gtest.h>

#include "engines/builtin_profiles.h"
#include "support/fake_pages.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

FetchedPage redirected(std::vector<std::string> addresses, FetchedPage page) {
  page.final_url = addresses.back();
  page.redirects = std::move(addresses);
  return page;
}

FetchedPage transport(Transport how) {
  FetchedPage page = testing::served("");
  page.transport = how;
  return page;
}

std::string gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

TEST(JudgePage, TellsResultsBlocksNothingFoundFailuresAndTheRest) {
  const std::string baidu_result = std::string(kBaidu.link_prefix) + "\"http://x.example/\"";
  const std::string google_result = std::string(kGoogle.link_prefix) + "\"http://x.example/\"";
  struct Case {
    const char* what;
    const EngineProfile* profile;
    FetchedPage page;
    Verdict verdict;
    std::string reason;
  };
  const Case cases[] = {
      {"a result link", &kBaidu, testing::served("<p>" + baidu_result), Verdict::result, ""},
      {"a result link in capitals", &kBaidu, testing::served("})\" HREF=\"http://x.example/\""),
       Verdict::result, ""},
      {"a result page whose snippet mentions captcha", &kGoogle,
       testing::served(google_result + " how g-recaptcha works, unusual traffic"), Verdict::result,
       ""},
      {"403", &kBaidu, testing::served(baidu_result, 403), Verdict::blocked,
       "HTTP 403：引擎拒绝了请求"},
      {"429", &kSogou, testing::served("", 429), Verdict::blocked, "HTTP 429：引擎拒绝了请求"},
      {"Baidu's verification title in GBK, status 200", &kBaidu,
       testing::served("<title>" + gbk("百度安全验证") + "</title>"), Verdict::blocked,
       "验证页面（含“百度安全验证”），HTTP 200"},
      {"Baidu's verification title in UTF-8", &kBaidu,
       testing::served("<title>百度安全验证</title>"), Verdict::blocked,
       "验证页面（含“百度安全验证”），HTTP 200"},
      {"a UTF-8 signature after an odd number of UTF-8 characters", &kSogou,
       testing::served("<p>用户您好，请输入验证码</p>"), Verdict::blocked,
       "验证页面（含“请输入验证码”），HTTP 200"},
      {"a UTF-8 no-results text after an odd number of UTF-8 characters", &kBaidu,
       testing::served("<p>很抱歉没有找到与“x”相关的网页</p>"), Verdict::no_results,
       "引擎表示没有结果（“抱歉没有找到”）"},
      {"passMod_ classes, any case", &kBaidu, testing::served("<div class=PASSMOD_box>"),
       Verdict::blocked, "验证页面（含“passMod_”），HTTP 200"},
      {"a redirect through Baidu's captcha host", &kBaidu,
       redirected({"https://wappass.baidu.com/static/captcha/tuxing.html?x", "http://b/"},
                  testing::served(baidu_result)),
       Verdict::blocked,
       "被重定向到验证地址 https://wappass.baidu.com/static/captcha/tuxing.html?x"},
      {"Google's sorry page", &kGoogle,
       redirected({"https://www.google.com/sorry/index?continue=x"}, testing::served("x")),
       Verdict::blocked, "被重定向到验证地址 https://www.google.com/sorry/index?continue=x"},
      {"Google's JavaScript wall", &kGoogle,
       testing::served("<noscript><meta content=\"0;url=/httpservice/retry/enablejs?sei=x\">"),
       Verdict::blocked, "验证页面（含“enablejs”），HTTP 200"},
      {"Sogou's antispider text", &kSogou, testing::served(gbk("请输入验证码")), Verdict::blocked,
       "验证页面（含“请输入验证码”），HTTP 200"},
      {"Soso reads Sogou's pages", &kSoso, testing::served(gbk("访问过于频繁")), Verdict::blocked,
       "验证页面（含“访问过于频繁”），HTTP 200"},
      {"Baidu finds nothing", &kBaidu, testing::served(gbk("抱歉没有找到与“x”相关的网页")),
       Verdict::no_results, "引擎表示没有结果（“抱歉没有找到”）"},
      {"Google finds nothing", &kGoogle,
       testing::served("Your search - x - did not match any documents."), Verdict::no_results,
       "引擎表示没有结果（“did not match any documents”）"},
      {"Sogou finds nothing", &kSogou, testing::served(gbk("没有找到与“x”相关的网页")),
       Verdict::no_results, "引擎表示没有结果（“没有找到与”）"},
      {"a page without result links", &kSogou, testing::served("<html>new markup</html>"),
       Verdict::unrecognised, "页面中没有结果链接（HTTP 200，23 字节）"},
      {"a result link behind a zero byte", &kBaidu,
       testing::served(std::string("<html>\0", 7) + baidu_result), Verdict::unrecognised,
       "页面中没有结果链接（HTTP 200，6 字节）"},
      {"a verification text behind a zero byte", &kSogou,
       testing::served(std::string("<p>\0", 4) + gbk("请输入验证码")), Verdict::unrecognised,
       "页面中没有结果链接（HTTP 200，3 字节）"},
      {"a keyword that spells a verification host", &kBaidu,
       redirected({"http://www.baidu.com/s?wd=wappass.baidu.com%2Fstatic%2Fcaptcha%2F"},
                  testing::served(baidu_result)),
       Verdict::result, ""},
      {"a 404", &kBaidu, testing::served(baidu_result, 404), Verdict::failed, "HTTP 404"},
      {"a 500", &kBaidu, testing::served("", 500), Verdict::failed, "HTTP 500"},
      {"a 204", &kBaidu, testing::served("", 204), Verdict::failed, "HTTP 204：没有内容"},
      {"a 302 without Location", &kBaidu, testing::served("", 302), Verdict::failed,
       "HTTP 302：重定向没有目标地址"},
      {"no connection", &kBaidu, testing::unreachable(), Verdict::failed,
       "连接失败 (Couldn't connect to server)"},
      {"a cut body", &kBaidu, transport(Transport::cut_off), Verdict::failed, "页面在传输中途中断"},
      {"an address never sent", &kBaidu, transport(Transport::not_sent), Verdict::failed,
       "地址无效或过长，请求未发送"},
      {"a body over the cap", &kBaidu, transport(Transport::too_long), Verdict::failed,
       "页面过大，超过上限"},
  };
  for (const Case& c : cases) {
    const PageVerdict verdict = judge_page(*c.profile, c.page);
    EXPECT_EQ(verdict.verdict, c.verdict) << c.what;
    EXPECT_EQ(gbk_to_utf8(verdict.reason), c.reason) << c.what;
  }
}

TEST(WorthRetrying, OnlyBrokenTransfersAndServerErrors) {
  EXPECT_TRUE(worth_retrying(testing::unreachable()));
  EXPECT_TRUE(worth_retrying(transport(Transport::cut_off)));
  EXPECT_TRUE(worth_retrying(testing::served("", 503)));
  for (const long status : {200L, 204L, 403L, 404L, 429L}) {
    EXPECT_FALSE(worth_retrying(testing::served("", status))) << status;
  }
  for (const Transport how : {Transport::not_sent, Transport::too_long, Transport::stopped,
                              Transport::refused_redirect}) {
    EXPECT_FALSE(worth_retrying(transport(how)));
  }
}

}  // namespace
}  // namespace quillrank
