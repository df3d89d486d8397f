#include "engines/page_verdict.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "text/char_scan.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

GbkText gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

// True when `text` holds `folded_utf8` byte for byte, ASCII case ignored. A UTF-8 sequence can
// only match where a character of a UTF-8 page begins, so no walk over GBK character starts
// (which a UTF-8 page puts out of step) is wanted; a window is folded at a time.
bool holds_utf8(std::string_view text, std::string_view folded_utf8) {
  constexpr std::size_t kWindow = 64 * 1024;
  for (std::size_t pos = 0; pos < text.size(); pos += kWindow) {
    const std::string window =
        scan::fold_ascii_case(text.substr(pos, kWindow + folded_utf8.size() - 1));
    if (window.find(folded_utf8) != std::string::npos) return true;
  }
  return false;
}

// The first signature found in `text`, in its UTF-8 or its GBK form, ASCII case ignored.
std::optional<std::string_view> first_found(std::string_view text,
                                            const std::vector<std::string>& signatures) {
  for (const std::string& signature : signatures) {
    if (holds_utf8(text, scan::fold_ascii_case(signature))) return signature;
    const bool ascii = std::all_of(signature.begin(), signature.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && find_text(text, gbk(signature), true) != -1) return signature;
  }
  return std::nullopt;
}

// An address up to its query: a keyword that spells a verification host is no verification.
std::string_view without_query(std::string_view address) {
  return address.substr(0, address.find_first_of("?#"));
}

std::string http(long status) { return "HTTP " + std::to_string(status); }

}  // namespace

PageVerdict judge_page(const EngineProfile& profile, const FetchedPage& page) {
  const PageSignatures& signatures = profile.signatures;
  for (const std::string& address : page.redirects) {
    if (first_found(without_query(address), signatures.block_addresses)) {
      return {Verdict::blocked, concat_text(gbk("被重定向到验证地址 "), address)};
    }
  }
  if (first_found(without_query(page.final_url), signatures.block_addresses)) {
    return {Verdict::blocked, concat_text(gbk("验证地址 "), page.final_url)};
  }
  if (page.transport != Transport::complete) return {Verdict::failed, transport_reason(page)};
  if (page.status == 403 || page.status == 429) {
    return {Verdict::blocked, concat_text(http(page.status), gbk("：引擎拒绝了请求"))};
  }
  if (page.status < 200 || page.status >= 300 || page.status == 204) {
    const char* what = page.status == 204                        ? "：没有内容"
                       : page.status >= 300 && page.status < 400 ? "：重定向没有目标地址"
                                                                 : "";
    return {Verdict::failed, concat_text(http(page.status), gbk(what))};
  }
  const std::string_view body = page_text_view(page);
  bool has_result_link = false;
  for_each_result_link(profile, body, [&has_result_link](std::size_t) {
    has_result_link = true;
    return false;
  });
  if (has_result_link) return {Verdict::result, {}};
  if (const auto signature = first_found(body, signatures.block_texts)) {
    return {Verdict::blocked,
            concat_text(gbk("验证页面（含“"), gbk(*signature), gbk("”），"), http(page.status))};
  }
  if (const auto signature = first_found(body, signatures.no_results_texts)) {
    return {Verdict::no_results,
            concat_text(gbk("引擎表示没有结果（“"), gbk(*signature), gbk("”）"))};
  }
  return {Verdict::unrecognised,
          concat_text(gbk("页面中没有结果链接（"), http(page.status), gbk("，"),
                      std::to_string(body.size()), gbk(" 字节）"))};
}

std::string_view page_text_view(const FetchedPage& page) {
  const std::string_view body = page.body.bytes;
  return body.substr(0, body.find('\0'));
}

void for_each_result_link(const EngineProfile& profile, std::string_view page,
                          const std::function<bool(std::size_t offset)>& visit) {
  const scan::Starts starts = is_valid_utf8(page) ? scan::Starts::bytes : scan::Starts::characters;
  // The first occurrence of a marker at or after `from`, or npos.
  auto first = [&](const std::string& marker, std::size_t from) {
    std::size_t at = scan::npos;
    if (marker.empty()) return at;
    scan::for_each_folded(page, scan::fold_ascii_case(marker), from, starts,
                          [&](std::size_t found) {
                            at = found;
                            return false;
                          });
    return at;
  };
  const std::size_t begin = profile.results_from.empty() ? 0 : first(profile.results_from, 0);
  if (begin == scan::npos) return;
  const std::size_t end = std::min(page.size(), first(profile.results_to, begin));
  const std::string link = scan::fold_ascii_case(concat_text(profile.link_prefix, "\""));
  scan::for_each_folded(page, link, begin, starts,
                        [&](std::size_t offset) { return offset < end && visit(offset); });
}

std::string_view verdict_name(Verdict verdict) {
  switch (verdict) {
    case Verdict::result:
      return "result";
    case Verdict::blocked:
      return "blocked";
    case Verdict::no_results:
      return "no_results";
    case Verdict::failed:
      return "failed";
    case Verdict::unrecognised:
      break;
  }
  return "unrecognised";
}

Verdict verdict_named(std::string_view name) {
  for (const Verdict verdict :
       {Verdict::result, Verdict::blocked, Verdict::no_results, Verdict::failed}) {
    if (verdict_name(verdict) == name) return verdict;
  }
  return Verdict::unrecognised;
}

bool worth_retrying(const FetchedPage& page) {
  return page.transport == Transport::failed || page.transport == Transport::cut_off ||
         (page.transport == Transport::complete && page.status >= 500);
}

}  // namespace quillrank
