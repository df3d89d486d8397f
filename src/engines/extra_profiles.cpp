#include "engines/extra_profiles.h"

#include "engines/builtin_profiles.h"

namespace quillrank {
namespace {

// What a request of the current set carries (https, UTF-8 keywords, a desktop Chrome's
// User-Agent and headers over one session with kept cookies), taken from a current profile so
// the sets cannot drift apart.
EngineProfile asked_as_browser(EngineProfile profile) {
  const EngineProfile& browser = kCurrentSogou;
  profile.scheme = browser.scheme;
  profile.keyword_encoding = browser.keyword_encoding;
  profile.link_schemes = browser.link_schemes;
  profile.headers = browser.headers;
  profile.user_agent = browser.user_agent;
  profile.http_version = browser.http_version;
  profile.accept_encoding = browser.accept_encoding;
  profile.session = browser.session;
  profile.cookies = browser.cookies;
  profile.warm_up = browser.warm_up;
  profile.home_page = "https://" + profile.host + "/";
  return profile;
}

// The same Chrome on an Android phone: its reduced User-Agent (Chrome reports Android 10 and
// model "K" whatever the device) and the client hints that say so.
constexpr const char* kPhoneAgent =
    "Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/143.0.0.0 Mobile Safari/537.36";

EngineProfile asked_as_phone(EngineProfile profile) {
  profile = asked_as_browser(std::move(profile));
  profile.user_agent = kPhoneAgent;
  for (std::string& header : profile.headers) {
    if (header.starts_with("sec-ch-ua-mobile:")) header = "sec-ch-ua-mobile: ?1";
    if (header.starts_with("sec-ch-ua-platform:")) header = "sec-ch-ua-platform: \"Android\"";
  }
  return profile;
}

// Baidu's phone pages: ten cards a page by result offset ("pn"). A card's real address stands
// in the JSON of its data-log attribute ("mu"); its title links to a m.baidu.com transcoding
// address. Ranked is each card's place among the cards with an address, Baidu's own cards
// (encyclopaedia, "others also searched") included as on the desktop pages; ads carry no "mu".
// Baidu's phone and desktop pages share their verification pages. The prefix reads the JSON
// where it stands in a single-quoted attribute ('{"mu":"https://..."}'); a page that writes it
// in a double-quoted one, its quotes as &quot;, holds no result link this profile can see.
EngineProfile baidu_mobile() {
  PageSignatures signatures = kCurrentBaidu.signatures;
  signatures.block_texts.emplace_back("您的访问出错了");
  return asked_as_phone({
      .name = "百度移动",
      .host = "m.baidu.com",
      .query_path = "/s?word=",
      .page_key = "&pn=",
      .page_value = PageValue::offset,
      .page_size = 10,
      .page_count = 30,
      .link_prefix = "\"mu\":",
      .results_from = "id=\"results\"",
      .results_to = "id=\"page-controller\"",
      .rank_rule = RankRule::result_count,
      .signatures = signatures,
  });
}

// 360 search: ten results a page by page number ("pn"). The title of each result links to a
// so.com/link redirect and carries the real address in data-mdurl; the list is
// <ul class="result">, the page links follow in id="page", the right-hand column after them.
// Ads and 360's own entries without a data-mdurl are not counted.
EngineProfile so360() {
  return asked_as_browser({
      .name = "360搜索",
      .host = "www.so.com",
      .query_path = "/s?ie=utf-8&q=",
      .page_key = "&pn=",
      .page_value = PageValue::number,
      .page_size = 10,
      .page_count = 30,
      .link_prefix = " data-mdurl=",
      .results_from = "class=\"result\"",
      .results_to = "id=\"page\"",
      .rank_rule = RankRule::result_count,
      .signatures = {.block_addresses = {"qcaptcha", "/antispider"},
                     .block_texts = {"qcaptcha", "访问异常", "访问过于频繁", "请输入验证码"},
                     .no_results_texts = {"抱歉，未找到和", "id=\"no-result\""}},
  });
}

// Bing China (domestic results, ensearch=0): ten results a page. Bing's "first" is the 1-based
// number of the page's first result, (p - 1) * 10 + 1: written as the digits of p - 1 (an
// offset with a page size of 1) followed by the tail's "1". The rank is counted from the
// results the pages held, so the page size plays no part in it. The title links of cn.bing.com
// carry the real address; the first organic block (li.b_algo) starts the counted part, so the
// ads above it are left out, and the right-hand column (id="b_context") ends it.
EngineProfile bing_cn() {
  return asked_as_browser({
      .name = "必应",
      .host = "cn.bing.com",
      .query_path = "/search?ensearch=0&q=",
      .page_key = "&first=",
      .page_value = PageValue::offset,
      .page_size = 1,
      .query_tail = "1",
      .page_count = 30,
      .link_prefix = " target=\"_blank\" href=",
      .results_from = "<li class=\"b_algo",
      .results_to = "id=\"b_context\"",
      .rank_rule = RankRule::result_count,
      .signatures = {.block_addresses = {"/turing/captcha/"},
                     .block_texts = {"/turing/captcha/", "id=\"b_captcha\"", "One last step",
                                     "Please solve the challenge below to continue"},
                     .no_results_texts = {"class=\"b_no\"", "There are no results for",
                                          "没有与此相关的结果"}},
  });
}

}  // namespace

std::vector<std::pair<std::string, EngineProfile>> extra_current_profiles() {
  return {{"baidu_mobile", baidu_mobile()}, {"so360", so360()}, {"bing_cn", bing_cn()}};
}

}  // namespace quillrank
