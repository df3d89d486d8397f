#include "engines/engine_worker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "engines/paced_requests.h"
#include "engines/page_verdict.h"
#include "text/char_scan.h"
#include "text/extract.h"
#include "text/text_codec.h"

namespace quillrank {
namespace {

constexpr int kMaxCountedPages = 100;  // pages read at most per row, counted paging

GbkText gbk(std::string_view utf8) { return utf8_to_gbk_text(utf8); }

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

namespace {

RowResult failed_result(GbkText detail) {
  return {Verdict::failed, 0, {}, GbkText(kQueryFailedText), std::move(detail)};
}
RowResult blocked_result(GbkText detail) {
  return {Verdict::blocked, 0, {}, GbkText(kBlockedText), std::move(detail)};
}

// How one member's asking for one row ended.
enum class RowEnd {
  decided,        // the result stands
  blocked,        // the engine refused this member (the result says where)
  member_failed,  // this member's way out failed: another member may ask the row
  stopped,        // a stop was requested: nothing stands
};
struct RowOutcome {
  RowEnd end = RowEnd::decided;
  RowResult result;
  GbkText blocked_at;  // with blocked: "第N行第M页"
};

// A page that failed on the way out (no connection, a cut transfer, a proxy that refused or
// could not reach the engine), not one the engine answered.
bool way_out_failed(const FetchedPage& page) {
  return page.transport == Transport::failed || page.transport == Transport::cut_off ||
         (page.transport == Transport::complete &&
          (page.status == 407 || page.status == 502 || page.status == 504));
}

// Passes the verification of a blocked page's address; true when it was passed (unset: never).
using Verify = std::function<bool(std::string_view url)>;

// Asks the engine for `row` page by page through `requests`. A blocked page is asked for again
// each time `verify` passes its verification; then, with `pause_on_block`, once more after the
// block pause.
RowOutcome rank_row(const EngineProfile& profile, int row, const QueryRow& asked,
                    PacedRequests& requests, const EnginePacing& pacing, bool pause_on_block,
                    const Verify& verify, std::stop_token stop,
                    const std::function<void(const SeenPage&)>& page_seen) {
  RowOutcome outcome;
  RowResult& result = outcome.result;
  const bool counted = profile.page_value == PageValue::counted;
  const int wanted = profile.page_count * profile.page_size;  // results, with counted paging
  int results_read = 0;  // what the row's pages read so far held
  // A browser's session comes to page 1 from the engine's home page, to each next page from
  // the one before.
  GbkText referer = profile.session ? GbkText(profile.home_page) : GbkText();
  for (int page = 1;
       counted ? page <= kMaxCountedPages && results_read < wanted : page <= profile.page_count;
       ++page) {
    const GbkText url = query_url(profile, asked.keyword, page, results_read);
    std::optional<FetchedPage> fetched = requests.get(url, referer);
    if (!fetched) return {RowEnd::stopped, {}, {}};
    PageVerdict verdict = judge_page(profile, *fetched);
    if (page_seen) page_seen({row, page, url, *fetched, verdict});
    while (verdict.verdict == Verdict::blocked && verify && verify(url)) {
      if (!(fetched = requests.get(url, referer))) return {RowEnd::stopped, {}, {}};
      verdict = judge_page(profile, *fetched);
      if (page_seen) page_seen({row, page, url, *fetched, verdict});
    }
    if (stop.stop_requested()) return {RowEnd::stopped, {}, {}};
    if (verdict.verdict == Verdict::blocked && pause_on_block) {
      if (!pause_for(stop, pacing.block_pause) || !(fetched = requests.get(url, referer))) {
        return {RowEnd::stopped, {}, {}};
      }
      verdict = judge_page(profile, *fetched);
      if (page_seen) page_seen({row, page, url, *fetched, verdict});
    }
    if (profile.session) referer = url;
    result.verdict = verdict.verdict;
    const GbkText where = concat_text(gbk("第"), to_text(page), gbk("页"));
    if (verdict.verdict == Verdict::result) {
      const std::string_view page_text = page_text_view(*fetched);
      const FoundLink link = find_site_link(profile, page_text, asked.site);
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
        return outcome;
      }
      const int held = results_held(profile, page_text, results_read);
      result.text = kNotFoundText;
      result.detail = counted ? concat_text(gbk("前"), to_text(page), gbk("页（"), to_text(held),
                                            gbk("条结果）没有该网站的链接"))
                              : concat_text(gbk("前"), to_text(page), gbk("页没有该网站的链接"));
      if (counted && held <= results_read) return outcome;  // the results end here
      results_read = held;
      continue;
    }
    result.detail = concat_text(where, gbk("："), verdict.reason);
    switch (verdict.verdict) {
      case Verdict::blocked:
        result.text = kBlockedText;
        outcome.end = RowEnd::blocked;
        outcome.blocked_at = concat_text(gbk("第"), to_text(row + 1), gbk("行"), where);
        break;
      case Verdict::failed:
        result.text = kQueryFailedText;
        if (way_out_failed(*fetched)) outcome.end = RowEnd::member_failed;
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
    return outcome;
  }
  return outcome;
}

// The rows of one engine's run as its pool's members take them: rows handed back first, then
// the next in list order; and who is still in the run.
class RowQueue {
 public:
  RowQueue(std::span<const QueryRow> rows, int members) : rows_(rows), live_(members) {}

  // The next row with a keyword for a member to ask; nullopt when none is left.
  std::optional<int> take() {
    std::lock_guard lock(mutex_);
    if (!returned_.empty()) {
      const int row = returned_.front();
      returned_.pop_front();
      return row;
    }
    while (next_ < rows_.size() && rows_[next_].keyword.empty()) ++next_;
    if (next_ == rows_.size()) return std::nullopt;
    return static_cast<int>(next_++);
  }
  void hand_back(int row) {
    std::lock_guard lock(mutex_);
    returned_.push_front(row);
  }
  bool alone() {
    std::lock_guard lock(mutex_);
    return live_ == 1;
  }
  // A member leaves the run, handing back the row it was asking, if any, to the others. The
  // last to leave keeps that row and gets the rows nobody asked, to say why they have no answer.
  struct Left {
    bool last = false;
    std::vector<int> rows;
  };
  Left leave(std::optional<int> asking = std::nullopt) {
    std::lock_guard lock(mutex_);
    Left left;
    if (--live_ > 0) {
      if (asking) returned_.push_front(*asking);
      return left;
    }
    left.last = true;
    left.rows.assign(returned_.begin(), returned_.end());
    returned_.clear();
    for (; next_ < rows_.size(); ++next_) {
      if (!rows_[next_].keyword.empty()) left.rows.push_back(static_cast<int>(next_));
    }
    return left;
  }

 private:
  std::span<const QueryRow> rows_;
  std::mutex mutex_;
  std::deque<int> returned_;
  std::size_t next_ = 0;
  int live_;
};

// One member's part of the run: rows from the queue until none is left, the member is blocked
// twice in a row (once, without a block pause) or fails `failures` times in a row while others
// can ask.
void run_member(const EngineProfile& profile, std::span<const QueryRow> rows,
                const PoolMember& member, const EnginePacing& pacing, int failures, RowQueue& queue,
                std::stop_token stop, const WorkerHooks& hooks) {
  const GbkText name = gbk(member.name);
  PacedRequests requests(member.connect(), request_options(profile), pacing, stop);
  const auto page_seen = [&](const SeenPage& page) {
    if (!hooks.page_seen) return;
    SeenPage named = page;
    named.member = member.name;
    hooks.page_seen(named);
  };
  Verify verify;  // this member's verifications, when someone passes them
  if (hooks.verify) {
    verify = [&](std::string_view url) { return hooks.verify({url, member.name}, stop); };
  }
  const auto report = [&](int row, RowResult result) {
    if (!name.empty()) result.detail = concat_text(result.detail, gbk("（经 "), name, gbk("）"));
    if (hooks.row_done) hooks.row_done(row, result);
  };
  // Leaves the run with the row it was asking and what that row came to. The last member out
  // keeps its row's answer and says why the rows nobody asked have none.
  const auto leave = [&](std::optional<int> asking, const RowResult& answer, const RowResult& why) {
    if (hooks.status) --hooks.status->working, ++hooks.status->gone;
    const RowQueue::Left left = queue.leave(asking);
    if (!left.last || stop.stop_requested()) return;
    if (asking) report(*asking, answer);
    for (const int row : left.rows) report(row, why);
  };
  bool rested = false;  // blocked, then rested: blocked again, the member leaves
  int failed = 0;       // failures in a row
  while (std::optional<int> row = queue.take()) {
    const bool alone = queue.alone();
    const RowOutcome outcome =
        rank_row(profile, *row, rows[static_cast<std::size_t>(*row)], requests, pacing,
                 alone && pacing.block_pause > 0 && !rested, verify, stop,
                 hooks.page_seen ? page_seen : std::function<void(const SeenPage&)>());
    switch (outcome.end) {
      case RowEnd::stopped:
        return;
      case RowEnd::decided:
        report(*row, outcome.result);
        rested = false;
        failed = 0;
        continue;
      case RowEnd::member_failed:
        if (alone) {
          report(*row, outcome.result);
          continue;
        }
        if (++failed < failures) {
          queue.hand_back(*row);
          continue;
        }
        leave(row, outcome.result, failed_result(gbk("未查询：该引擎的出口都已退出本次运行")));
        return;
      case RowEnd::blocked:
        if (!alone && pacing.block_pause > 0 && !rested) {
          queue.hand_back(*row);
          if (hooks.status) --hooks.status->working, ++hooks.status->resting;
          const bool go_on = pause_for(stop, pacing.block_pause);
          if (hooks.status) --hooks.status->resting, ++hooks.status->working;
          if (!go_on) return;
          rested = true;
          continue;
        }
        leave(row, outcome.result,
              blocked_result(
                  concat_text(gbk("未查询：该引擎已在"), outcome.blocked_at, gbk("拦截本次运行"))));
        return;
    }
  }
  leave(std::nullopt, {}, {});
}

}  // namespace

void run_engine_pool(const EngineProfile& profile, std::span<const QueryRow> rows,
                     const std::vector<PoolMember>& members, const EnginePacing& pacing,
                     int failures, std::stop_token stop, const WorkerHooks& hooks) {
  if (members.empty()) return;
  RowQueue queue(rows, static_cast<int>(members.size()));
  if (hooks.status) hooks.status->working += static_cast<int>(members.size());
  std::vector<std::jthread> others;
  for (std::size_t member = 1; member < members.size(); ++member) {
    try {
      others.emplace_back([&, member] {
        run_member(profile, rows, members[member], pacing, failures, queue, stop, hooks);
      });
    } catch (const std::system_error&) {
      // A member whose thread cannot start is out of the run; the others ask its rows.
      if (hooks.status) --hooks.status->working, ++hooks.status->gone;
      queue.leave();  // never the last: this thread's own member is still in
    }
  }
  run_member(profile, rows, members.front(), pacing, failures, queue, stop, hooks);
}

void run_engine_worker(const EngineProfile& profile, std::span<const QueryRow> rows,
                       const PageSource& fetch, const EnginePacing& pacing, std::stop_token stop,
                       const WorkerHooks& hooks) {
  run_engine_pool(profile, rows, {{"", [&fetch] { return fetch; }}}, pacing, 1, stop, hooks);
}

}  // namespace quillrank
