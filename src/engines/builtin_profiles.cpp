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

}  // namespace

const EngineProfile kBaidu{
    .name = "Baidu",
    .column = 2,
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
    .column = 3,
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
    .column = 4,
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
    .column = 5,
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

}  // namespace quillrank
