#include "engines/builtin_profiles.h"

namespace quillrank {
namespace {

// The signatures are data beside the profiles: a new one is a one-line change.
PageSignatures baidu_signatures() {
  return {.block_addresses = {"wappass.baidu.com", "/static/captcha/"},
          .block_texts = {"百度安全验证", "passMod_"},
          .no_results_texts = {"未找到相关结果", "抱歉没有找到"}};
}

PageSignatures google_signatures() {
  return {.block_addresses = {"/sorry/", "sorry.google.com"},
          .block_texts = {"captcha-form", "g-recaptcha", "unusual traffic", "enablejs"},
          .no_results_texts = {"did not match any documents", "找不到和您查询的"}};
}

// Soso's address has long been served by Sogou, so both read Sogou's pages.
PageSignatures sogou_signatures() {
  return {.block_addresses = {"/antispider"},
          .block_texts = {"antispider", "请输入验证码", "访问过于频繁", "搜狗搜索验证"},
          .no_results_texts = {"没有找到与"}};
}

// Today's verification pages and empty answers, beside the old ones.
PageSignatures current_baidu_signatures() {
  PageSignatures signatures = baidu_signatures();
  for (const char* address : {"passport.baidu.com", "verify.baidu.com"}) {
    signatures.block_addresses.emplace_back(address);
  }
  for (const char* text : {"网络不给力，请稍后重试", "登录百度账号", "请输入验证码"}) {
    signatures.block_texts.emplace_back(text);
  }
  for (const char* text : {"抱歉，没有找到与", "没有找到与您查询的", "class=\"nors\""}) {
    signatures.no_results_texts.emplace_back(text);
  }
  return signatures;
}

PageSignatures current_google_signatures() {
  PageSignatures signatures = google_signatures();
  signatures.block_addresses.emplace_back("/httpservice/retry/enablejs");
  for (const char* text :
       {"/httpservice/retry/enablejs", "if you are not redirected within a few seconds",
        "searchguard", "isn't supported any", "unusual traffic from your computer network"}) {
    signatures.block_texts.emplace_back(text);
  }
  return signatures;
}

PageSignatures current_sogou_signatures() {
  PageSignatures signatures = sogou_signatures();
  signatures.block_addresses.emplace_back("passport.sogou.com");
  for (const char* text :
       {"我们的系统检测到您网络中存在异常访问请求", "此验证码用于确认这些请求是您的正常行为"}) {
    signatures.block_texts.emplace_back(text);
  }
  signatures.no_results_texts.emplace_back("noresult_part1_container");
  return signatures;
}

// A current desktop Chrome on Windows: its User-Agent and the headers it sends with a page it
// navigates to from the same site (Host, Accept-Encoding, Referer and Cookie come from the
// client itself).
constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/143.0.0.0 Safari/537.36";
std::vector<std::string> browser_headers() {
  // In the order a settings file's table reads back (by name), so --print-config's output
  // reads back as the same profile.
  return {
      "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
      "image/apng,*/*;q=0.8,application/signed-exchange;v=b3;q=0.7",
      "Accept-Language: zh-CN,zh;q=0.9",
      "Sec-Fetch-Dest: document",
      "Sec-Fetch-Mode: navigate",
      "Sec-Fetch-Site: same-origin",
      "Sec-Fetch-User: ?1",
      "Upgrade-Insecure-Requests: 1",
      "sec-ch-ua: \"Google Chrome\";v=\"143\", \"Chromium\";v=\"143\", \"Not A(Brand\";v=\"24\"",
      "sec-ch-ua-mobile: ?0",
      "sec-ch-ua-platform: \"Windows\"",
  };
}

// What every profile of the current set shares: https, UTF-8 keywords, a browser's request
// over one session per engine.
EngineProfile browser_profile(EngineProfile profile) {
  profile.scheme = "https";
  profile.keyword_encoding = KeywordEncoding::utf8;
  profile.link_schemes = {"http://", "https://"};
  profile.headers = browser_headers();
  profile.user_agent = kBrowserAgent;
  profile.http_version = HttpVersion::http2;
  profile.accept_encoding = "gzip, deflate, br, zstd";
  profile.session = true;
  profile.cookies = true;
  profile.home_page = "https://" + profile.host + "/";
  profile.warm_up = true;
  return profile;
}

// A profile whose pages the browser renders, with the User-Agent and headers of the browser
// profiles (the browser sends its own Accept-Encoding and keeps its own connections).
EngineProfile rendered_profile(EngineProfile profile) {
  profile = browser_profile(std::move(profile));
  profile.fetch = FetchKind::browser;
  profile.warm_up = false;
  return profile;
}

// Sogou's result pages, for Sogou and for Soso (soso.com has sent its searches to Sogou since
// 2013). Each result block holds the real address (its title links to /link?url=) in a
// data-url attribute; ten a page, by page number; ranks count the blocks of every page read.
EngineProfile sogou_today(std::string name) {
  return browser_profile({
      .name = std::move(name),
      .host = "www.sogou.com",
      .query_path = "/web?query=",
      .page_key = "&page=",
      .page_value = PageValue::number,
      .page_size = 10,
      .query_tail = "&ie=utf8",
      .page_count = 30,
      .link_prefix = " data-url=",
      .rank_rule = RankRule::result_count,
      .signatures = current_sogou_signatures(),
  });
}

}  // namespace

const EngineProfile kBaidu{
    .name = "Baidu",
    .host = "www.baidu.com",
    .query_path = "/s?wd=",
    .page_key = "&pn=",
    .page_value = PageValue::offset,
    .page_size = 100,
    .query_tail = "&rn=100",
    .page_count = 3,
    .link_prefix = "})\" href=",
    .segment_end = "><tr><td class=",
    .rank_left = "id=\"",
    .rank_right = "\"",
    .rank_rule = RankRule::next_id_minus_one,
    .signatures = baidu_signatures(),
};
const EngineProfile kGoogle{
    .name = "Google",
    .host = "www.google.com.hk",
    .query_path = "/search?num=100&hl=zh-CN&safe=strict&as_qdr=all&q=",
    .page_key = "&start=",
    .page_value = PageValue::offset,
    .page_size = 100,
    .query_tail = "&sa=N",
    .page_count = 3,
    .link_prefix = "<h3 class=r><a href=",
    .segment_end = "')",
    .rank_left = "(0,'','','','",
    .rank_right = "',",
    .rank_rule = RankRule::verbatim,
    .signatures = google_signatures(),
};
const EngineProfile kSogou{
    .name = "Sogou",
    .host = "www.sogou.com",
    .query_path = "/web?query=",
    .page_key = "&page=",
    .page_value = PageValue::number,
    .page_size = 100,
    .query_tail = "&num=100",
    .page_count = 3,
    .link_prefix = "target=\"_blank\" href=",
    .segment_end = "');",
    .rank_left = "id=\"sogou_preview_",
    .rank_right = "\"",
    .rank_rule = RankRule::page_offset_plus_index,
    .signatures = sogou_signatures(),
};
const EngineProfile kSoso{
    .name = "Soso",
    .host = "www.soso.com",
    .query_path = "/q?sc=web&w=",
    .page_key = "&pg=",
    .page_value = PageValue::number,
    .page_size = 10,
    .query_tail = "",
    .page_count = 30,
    .link_prefix = "<h3><a href=",
    .segment_end = ">",
    .rank_left = "id=\"res",
    .rank_right = "\"",
    .rank_rule = RankRule::page_offset_plus_index,
    .signatures = sogou_signatures(),
};

// Baidu: 50 results a page asked for ("rn"), paged by the results the earlier pages really held
// ("pn"). Ranked are the cards of the main column (from id="content_left"; the right-hand
// column stands before it in the page and its cards carry "mu" too) that carry their real
// address in "mu", at the place Baidu numbers them in their id attribute (its own cards, such
// as translations and encyclopaedia entries, included).
const EngineProfile kCurrentBaidu = browser_profile({
    .name = "Baidu",
    .host = "www.baidu.com",
    .query_path = "/s?ie=utf-8&wd=",
    .page_key = "&pn=",
    .page_value = PageValue::counted,
    .page_size = 50,
    .query_tail = "&rn=50",
    .page_count = 6,
    .link_prefix = " mu=",
    .results_from = "id=\"content_left\"",
    .results_to = "id=\"page\"",
    .rank_left = " id=\"",
    .rank_right = "\"",
    .rank_rule = RankRule::card_number,
    .signatures = current_baidu_signatures(),
});
// Google answers a client that runs no JavaScript with a page that asks for it (since January
// 2025), so its pages are rendered by the browser. A rendered page is read once its first
// organic result's title link (jsname="UWckNb") is there; the "people also ask" answers quote
// their sources with links of the same shape, so they are taken out before it is read. The
// page that asks for JavaScript reads as a refusal (a rendered page carries the same text in
// its <noscript>, but it has result links, and they are looked for first).
const EngineProfile kCurrentGoogle = rendered_profile({
    .name = "Google",
    .host = "www.google.com",
    .query_path = "/search?ie=UTF-8&oe=UTF-8&hl=zh-CN&q=",
    .page_key = "&start=",
    .page_value = PageValue::offset,
    .page_size = 10,
    .query_tail = "&filter=0",
    .page_count = 30,
    .link_prefix = " jsname=\"UWckNb\" href=",
    .rank_rule = RankRule::link_ordinal,
    .ready_selector = "a[jsname=\"UWckNb\"]",
    .remove_selector = ".related-question-pair",
    .signatures = current_google_signatures(),
});
const EngineProfile kCurrentSogou = sogou_today("Sogou");
const EngineProfile kCurrentSoso = sogou_today("Soso");

}  // namespace quillrank
