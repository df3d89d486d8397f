// What today's engines show when they refuse a client or find nothing, as data beside the
// profiles: a new signature is a one-line change. Written in UTF-8; pages are searched for each
// in its UTF-8 and its GBK form, ASCII letter case ignored.
#pragma once

#include <span>
#include <string_view>

#include "engines/engine_profile.h"

namespace quillrank {

struct PageSignatures {
  std::span<const std::string_view> block_addresses;  // in an address a redirect led to
  std::span<const std::string_view> block_texts;      // on a page without result links
  std::span<const std::string_view> no_results_texts;
};

inline constexpr std::string_view kBaiduBlockAddresses[] = {"wappass.baidu.com",
                                                            "/static/captcha/"};
inline constexpr std::string_view kBaiduBlockTexts[] = {"百度安全验证", "passMod_"};
inline constexpr std::string_view kBaiduNoResults[] = {"未找到相关结果", "抱歉没有找到"};

inline constexpr std::string_view kGoogleBlockAddresses[] = {"/sorry/", "sorry.google.com"};
inline constexpr std::string_view kGoogleBlockTexts[] = {"captcha-form", "g-recaptcha",
                                                         "unusual traffic", "enablejs"};
inline constexpr std::string_view kGoogleNoResults[] = {"did not match any documents",
                                                        "找不到和您查询的"};

// Soso's address has long been served by Sogou, so both read Sogou's pages.
inline constexpr std::string_view kSogouBlockAddresses[] = {"/antispider"};
inline constexpr std::string_view kSogouBlockTexts[] = {"antispider", "请输入验证码",
                                                        "访问过于频繁", "搜狗搜索验证"};
inline constexpr std::string_view kSogouNoResults[] = {"没有找到与"};

inline constexpr PageSignatures kBaiduSignatures{kBaiduBlockAddresses, kBaiduBlockTexts,
                                                 kBaiduNoResults};
inline constexpr PageSignatures kGoogleSignatures{kGoogleBlockAddresses, kGoogleBlockTexts,
                                                  kGoogleNoResults};
inline constexpr PageSignatures kSogouSignatures{kSogouBlockAddresses, kSogouBlockTexts,
                                                 kSogouNoResults};

// The signatures of the engine whose result column `profile` fills.
const PageSignatures& signatures_for(const EngineProfile& profile);

}  // namespace quillrank
