#include "engines/engine_worker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <random>

#include "engines/page_verdict.h"
#include "text/char_scan.h"
#include "text/extract.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

constexpr int kMaxCountedPages = 100;  // pages read at most per row, counted paging

GbkText gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

// Waits `seconds` unless `stop` is requested first; false when it was.
bool pause_for(std::stop_token stop, double seconds) {
  if (seconds > 0) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, std::chrono::duration<double>(seconds), [] { return false; });
  }
  return !stop.stop_requested();
}

// One engine's requests: a random pause between two of them, and a fetch worth retrying tried
// again after 1 s, 2 s, 4 s ... (at most 30 s, each a little longer at random).
class PacedRequests {
 public:
  PacedRequests(const PageSource& fetch, RequestOptions options, const EnginePacing& pacing,
                std::stop_token stop)
      : fetch_(fetch),
        options_(std::move(options)),
        pacing_(pacing),
        stop_(std::move(stop)),
        random_(std::random_device{}()) {}

  // nullopt once a stop was requested. `referer`: the page the request comes from, if any.
  std::optional<FetchedPage> get(std::string_view url, std::string_view referer) {
    options_.referer = referer;
    for (int attempt = 0;; ++attempt) {
      if (asked_ && !pause_for(stop_, uniform(pacing_.delay_min, pacing_.delay_max))) {
        return std::nullopt;
      }
      asked_ = true;
      FetchedPage page = fetch_(PageRequest(url, &options_), stop_);
      if (stop_.stop_requested()) return std::nullopt;
      if (attempt >= pacing_.retries || !worth_retrying(page)) return page;
      const double backoff = std::min(30.0, std::ldexp(1.0, std::min(attempt, 5)));
      if (!pause_for(stop_, std::min(30.0, backoff * uniform(1.0, 1.25)))) return std::nullopt;
    }
  }

 private:
  double uniform(double low, double high) {
    return high > low ? std::uniform_real_distribution<double>(low, high)(random_) : low;
  }

  const PageSource& fetch_;
  RequestOptions options_;
  const EnginePacing& pacing_;
  std::stop_token stop_;
  std::mt19937 random_;
  bool asked_ = false;
};

}  // namespace

namespace {

// True when a site's host ends at `after` (what follows it in a link): at a path, a port, a
// query, a fragment, the link's closing quote or the page's end.
bool host_ends(std::string_view after) {
  return after.empty() || std::string_view("/:?#\"'").find(after.front()) != std::string_view::npos;
}

}  // namespace

FoundLink find_site_link(const EngineProfile& profile, std::string_view page_text,
                         std::string_view site) {
  // A site with a path names the links that begin with it; a bare host only itself.
  const bool bare_host = !site.empty() && site.find('/') == std::string_view::npos;
  const std::size_t link_length = profile.link_prefix.size() + 1;
  std::vector<std::string> addresses;  // folded: each link scheme with the site
  for (const std::string& scheme : profile.link_schemes) {
    addresses.push_back(scan::fold_ascii_case(concat_text(scheme, site)));
  }
  // One walk over the page's result links: the first whose address is the site's wins, and its
  // place among them is counted on the way.
  FoundLink found;
  int ordinal = 0;
  for_each_result_link(profile, page_text, [&](std::size_t offset) {
    ++ordinal;
    const std::string_view after = page_text.substr(offset + link_length);
    for (const std::string& address : addresses) {
      if (after.size() >= address.size() &&
          std::equal(address.begin(), address.end(), after.begin(),
                     [](char a, char b) { return a == scan::fold_ascii(b); }) &&
          (!bare_host || host_ends(after.substr(address.size())))) {
        found = {static_cast<int>(offset) + 1, static_cast<int>(link_length + address.size()),
                 ordinal};
        return false;
      }
    }
    return true;
  });
  return found;
}

std::string_view link_address(const EngineProfile& profile, std::string_view page_text,
                              const FoundLink& link) {
  if (link.at < 1) return {};
  const std::string_view rest =
      page_text.substr(static_cast<std::size_t>(link.at - 1) + profile.link_prefix.size() + 1);
  const auto end =
      std::find_if(rest.begin(), rest.begin() + std::min(rest.size(), kMaxAddress),
                   [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; });
  return rest.substr(0, static_cast<std::size_t>(end - rest.begin()));
}

RequestOptions request_options(const EngineProfile& profile) {
  return {profile.headers, profile.user_agent, profile.http_version, profile.accept_encoding, {}};
}

namespace {

// A card's number that can be this page's: past the results the earlier pages held and within
// one page of them (an ad numbered 3001 is none); else 0.
int page_card_number(const EngineProfile& profile, std::string_view page_text, std::size_t offset,
                     int results_read) {
  const int number = card_number(profile, page_text, offset);
  return number > results_read && number <= results_read + profile.page_size ? number : 0;
}

}  // namespace

int card_number(const EngineProfile& profile, std::string_view page_text, std::size_t offset) {
  const std::size_t open = page_text.rfind('<', offset);
  const std::size_t close = page_text.find('>', offset);
  if (open == std::string_view::npos) return 0;
  const std::string_view tag = page_text.substr(open, close - open);
  const GbkText field = extract_between(tag, profile.rank_left, profile.rank_right, false, false);
  if (field.empty() || field.size() > 6 ||
      !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::stoi(field);
}

int results_held(const EngineProfile& profile, std::string_view page_text, int results_read) {
  int held = results_read;
  for_each_result_link(profile, page_text, [&](std::size_t offset) {
    held = profile.rank_rule == RankRule::card_number
               ? std::max(held, page_card_number(profile, page_text, offset, results_read))
               : held + 1;
    return true;
  });
  return held;
}

namespace {

constexpr std::size_t kMaxDigits = 9;  // a field of more digits is no rank (and fits no int)

// The whole number a rank field spells: nothing but 1 to kMaxDigits ASCII digits; else none.
std::optional<double> whole_number(std::string_view field) {
  if (field.empty() || field.size() > kMaxDigits ||
      !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stod(std::string(field));
}

// Why a field read as no rank, in Chinese (GBK): the field itself when it is short, else its
// length.
RankReading unreadable(std::string_view field) {
  constexpr std::size_t kShown = 20;
  const GbkText what = field.size() <= kShown
                           ? concat_text(gbk("“"), field, gbk("”"))
                           : concat_text(to_text(static_cast<double>(field.size())), gbk(" 字节"));
  return {0, concat_text(gbk("排名读不出：页面的排名字段"), what, gbk("不是 1 到 "),
                         to_text(kMaxRank), gbk(" 的整数"))};
}

// `position` as a rank when it is one; else what the field `field` held.
RankReading bounded(double position, std::string_view field) {
  if (position >= 1 && position <= kMaxRank && position == std::floor(position)) {
    return {static_cast<int>(position), {}};
  }
  return unreadable(field.empty() ? to_text(position) : GbkText(field));
}

}  // namespace

GbkText rank_cell_text(int rank) { return concat_text(kRankOpen, to_text(rank), kRankClose); }

RankReading read_rank(const EngineProfile& profile, std::string_view page_text,
                      const FoundLink& link, int page, int results_read) {
  const double page_offset = (static_cast<double>(page) - 1) * profile.page_size;
  const double counted = static_cast<double>(results_read) + link.ordinal;
  switch (profile.rank_rule) {
    case RankRule::link_ordinal:
      return bounded(page_offset + link.ordinal, {});
    case RankRule::result_count:
      return bounded(counted, {});
    case RankRule::card_number: {
      // A card the page left unnumbered counts on from the row's earlier pages.
      const int number =
          page_card_number(profile, page_text, static_cast<std::size_t>(link.at - 1), results_read);
      return bounded(number > 0 ? number : counted, {});
    }
    default:
      break;
  }
  // The marker as it stands on the page at the occurrence the presence test found, so a site
  // typed in another letter case is ranked at its own link. No exact occurrence of these bytes
  // can come earlier than the first case-insensitive one.
  const std::string_view on_page = page_text.substr(link.at - 1, link.length);
  const GbkText segment = extract_between(page_text, on_page, profile.segment_end, false, true);
  const GbkText field =
      extract_between(segment, profile.rank_left, profile.rank_right, false, true);
  const std::optional<double> number = whole_number(field);
  switch (profile.rank_rule) {
    case RankRule::verbatim:
      return number ? bounded(*number, field) : unreadable(field);
    case RankRule::next_id_minus_one:
      // No field: the link is the page's last result. The number read is the next result's.
      if (field.empty()) return bounded(static_cast<double>(page) * profile.page_size, {});
      return number ? bounded(*number - 1, field) : unreadable(field);
    case RankRule::page_offset_plus_index:
      // The field is the 0-based index on the page; none: the page's first result.
      if (field.empty()) return bounded(page_offset + 1, {});
      return number ? bounded(page_offset + *number + 1, field) : unreadable(field);
    case RankRule::link_ordinal:
    case RankRule::result_count:
    case RankRule::card_number:
      break;  // above
  }
  return unreadable(field);
}

void run_engine_worker(const EngineProfile& profile, std::span<const QueryRow> rows,
                       const PageSource& fetch, const EnginePacing& pacing, std::stop_token stop,
                       const WorkerHooks& hooks) {
  PacedRequests requests(fetch, request_options(profile), pacing, stop);
  GbkText blocked_at;  // where the engine blocked this run; empty while it has not
  for (std::size_t index = 0; index < rows.size(); ++index) {
    const int row = static_cast<int>(index);
    const GbkText& keyword = rows[index].keyword;
    // No engine is asked for nothing: a row without a keyword stands for a site entry whose
    // home page could not be read, and its cells were decided when the run started.
    if (keyword.empty()) continue;
    RowResult result;
    if (!blocked_at.empty()) {
      result.verdict = Verdict::blocked;
      result.text = kBlockedText;
      result.detail = concat_text(gbk("未查询：该引擎已在"), blocked_at, gbk("拦截本次运行"));
      if (hooks.row_done) hooks.row_done(row, result);
      continue;
    }
    const bool counted = profile.page_value == PageValue::counted;
    const int wanted = profile.page_count * profile.page_size;  // results, with counted paging
    int results_read = 0;  // what the row's pages read so far held
    // A browser's session comes to page 1 from the engine's home page, to each next page from
    // the one before.
    GbkText referer = profile.session ? GbkText(profile.home_page) : GbkText();
    for (int page = 1;
         counted ? page <= kMaxCountedPages && results_read < wanted : page <= profile.page_count;
         ++page) {
      const GbkText url = query_url(profile, keyword, page, results_read);
      std::optional<FetchedPage> fetched = requests.get(url, referer);
      if (!fetched) return;
      PageVerdict verdict = judge_page(profile, *fetched);
      if (hooks.page_seen) hooks.page_seen({row, page, url, *fetched, verdict});
      if (verdict.verdict == Verdict::blocked && pacing.block_pause > 0) {
        if (!pause_for(stop, pacing.block_pause) || !(fetched = requests.get(url, referer))) {
          return;
        }
        verdict = judge_page(profile, *fetched);
        if (hooks.page_seen) hooks.page_seen({row, page, url, *fetched, verdict});
      }
      if (profile.session) referer = url;
      result.verdict = verdict.verdict;
      const GbkText where = concat_text(gbk("第"), to_text(page), gbk("页"));
      if (verdict.verdict == Verdict::result) {
        const std::string_view page_text = page_text_view(*fetched);
        const FoundLink link = find_site_link(profile, page_text, rows[index].site);
        if (link.at != -1) {
          const RankReading rank = read_rank(profile, page_text, link, page, results_read);
          if (rank.rank > 0) {
            result.text = rank_cell_text(rank.rank);
            result.rank = rank.rank;
            result.address = GbkText(link_address(profile, page_text, link));
            result.detail = concat_text(where, gbk("找到："), result.address);
          } else {
            result.text = kUnrecognisedText;
            result.verdict = Verdict::unrecognised;
            result.detail = concat_text(where, gbk("："), rank.problem);
          }
          break;
        }
        const int held = results_held(profile, page_text, results_read);
        result.text = kNotFoundText;
        result.detail = counted ? concat_text(gbk("前"), to_text(page), gbk("页（"), to_text(held),
                                              gbk("条结果）没有该网站的链接"))
                                : concat_text(gbk("前"), to_text(page), gbk("页没有该网站的链接"));
        if (counted && held <= results_read) break;  // the results end here
        results_read = held;
        continue;
      }
      result.detail = concat_text(where, gbk("："), verdict.reason);
      switch (verdict.verdict) {
        case Verdict::blocked:
          result.text = kBlockedText;
          blocked_at = concat_text(gbk("第"), to_text(row + 1), gbk("行"), where);
          break;
        case Verdict::failed:
          result.text = kQueryFailedText;
          break;
        case Verdict::unrecognised:
          // Past the first page, a page without result links is where the results end.
          result.text = page == 1 ? kUnrecognisedText : kNotFoundText;
          break;
        case Verdict::no_results:
        case Verdict::result:
          result.text = kNotFoundText;
          break;
      }
      break;
    }
    if (hooks.row_done) hooks.row_done(row, result);
  }
}

}  // namespace quillrank
