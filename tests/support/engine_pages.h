// Result pages in each engine's own markup, for fixture servers that stand in for the engines.
#pragma once

#include <string>

#include "engines/builtin_profiles.h"

namespace quillrank::testing {

// Page `page` of results that link to filler sites, but for the result at the 0-based `index`
// on the page (none when index < 0), which links to `address`; each result carries the rank
// markup of its engine (told apart by the classic set's hosts).
inline std::string engine_result_page(const EngineProfile& engine, const std::string& address,
                                      int index, int page = 1, int results = 10) {
  std::string html = "<html><body>\xB5\xDA\xD2\xBB\xD2\xB3 ";  // a few GBK bytes too
  for (int i = 0; i < results; ++i) {
    const std::string target =
        i == index ? address : "http://filler" + std::to_string(i) + ".example/";
    const std::string n = std::to_string(i);
    const int absolute = (page - 1) * engine.page_size + i + 1;
    const std::string link = std::string(engine.link_prefix) + "\"" + target + "\"";
    if (engine.host == kBaidu.host) {
      html += "<table><tr><td>" + link + " id=\"" + std::to_string(absolute + 1) +
              "\"><tr><td class=x>";
    } else if (engine.host == kGoogle.host) {
      html += link + " onmousedown=\"return clk(0,'','','','" + std::to_string(absolute) +
              "','x')\">r</a></h3>";
    } else if (engine.host == kSogou.host) {
      html += "<a " + link + " id=\"sogou_preview_" + n + "\" onclick=\"st(this,'');\">r</a>";
    } else {
      html += "<li>" + link + " id=\"res" + n + "\">r</a></h3></li>";
    }
  }
  return html + "</body></html>";
}

// Today's shape of a result page's profile: each result card carries its real address in a "mu"
// attribute, https as often as http, and no rank field; 10 results a page.
inline EngineProfile card_profile() {
  EngineProfile profile = kBaidu;
  profile.link_prefix = " mu=";
  profile.link_schemes = {"http://", "https://"};
  profile.rank_rule = RankRule::link_ordinal;
  profile.page_size = 10;
  return profile;
}

}  // namespace quillrank::testing
