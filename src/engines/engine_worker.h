// The engine worker: for one search engine, walks a run's rows, pages through the engine's
// results for each row's keyword and reports the site's rank (or why there is none). Runs on its
// own thread; stops early only when its stop token is triggered.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "engines/cell_texts.h"
#include "engines/engine_profile.h"
#include "engines/page_verdict.h"
#include "engines/run_results.h"
#include "keywords/keyword_list.h"
#include "net/fetched_page.h"

namespace quillrank {

// How one engine's requests are paced, from the settings file and the batch command's flags.
struct EnginePacing {
  double delay_min = 0;    // seconds between two requests of the engine, drawn uniformly from
  double delay_max = 0;    // [delay_min, delay_max]
  int retries = 1;         // further tries of a fetch worth retrying, with backoff
  double block_pause = 0;  // > 0: after a block, wait this long and ask once more

  bool operator==(const EnginePacing&) const = default;
};

// One page as a worker judged it, for whoever wants to look (the batch command's --save-pages).
struct SeenPage {
  int row;   // 0-based
  int page;  // 1-based
  std::string_view url;
  const FetchedPage& fetched;
  const PageVerdict& verdict;
  std::string_view member = {};  // the pool member that asked (its name); empty: the only one
};

// How many of an engine's pool members are asking, resting after a block, or out of the run.
struct PoolStatus {
  std::atomic<int> working{0};
  std::atomic<int> resting{0};
  std::atomic<int> gone{0};
};

// A blocked page a person may pass the engine's verification for (in a browser on the engine's
// cookie store): the address that was asked for, and the pool member the engine blocked (its
// name; empty for the only one).
struct Verification {
  std::string_view url;
  std::string_view member;
};

// What a worker reports as it goes, on its members' threads.
struct WorkerHooks {
  std::function<void(const SeenPage&)> page_seen = {};  // hears of every page judged
  // Hears of every row's result once (0-based rows), in the order the members decide them; not
  // of a row without a keyword.
  std::function<void(int row, const RowResult& result)> row_done = {};
  PoolStatus* status = nullptr;  // kept up to date when set
  // When set, a member whose page is blocked calls it and waits: true (the verification was
  // passed) asks the same page again, and the block counts for nothing; false handles the block
  // as without it. It must return at once when the stop token is requested.
  std::function<bool(const Verification&, std::stop_token)> verify = {};
};

// One member of an engine's pool: its name in details, saved pages and progress (a proxy as
// scheme://host:port, never its password; empty for the only member) and how it makes its page
// source, on its own thread, once.
struct PoolMember {
  std::string name;
  std::function<PageSource()> connect;
};

// The first link to the site on the page: link_prefix + '"' + one of the link schemes + the site
// as the row holds it (a host, maybe with a path), ASCII case ignored, where the site's host ends:
// the byte after it is '/', ':', '?', '#', a quote or the page's end, so qq.com is not ranked at
// qq.com.cn. A site written with a path (www.example.com/blog), and the empty site, match every
// link that begins with them. `at` is its 1-based position (-1: none), `length` the length of
// that marker, `ordinal` its place among the page's result links (the occurrences of
// link_prefix + '"', in page order, from 1).
struct FoundLink {
  int at = -1;
  int length = 0;
  int ordinal = 0;
};
FoundLink find_site_link(const EngineProfile& profile, std::string_view page_text,
                         std::string_view site);

// The address of a found link as the page gives it: the bytes after link_prefix and its quote
// up to the closing double quote, at most kMaxAddress of them, and none that is a control
// character (the address ends before one).
inline constexpr std::size_t kMaxAddress = 1024;
std::string_view link_address(const EngineProfile& profile, std::string_view page_text,
                              const FoundLink& link);

// What the profile's requests carry (the Referer is set per page).
RequestOptions request_options(const EngineProfile& profile);

// The highest rank a page can give: a number read beyond it is a misread field, not a place.
inline constexpr int kMaxRank = 10000;

// A rank read off a page: 1 .. kMaxRank, or 0 with what was wrong (GBK) when the page's field
// cannot be one.
struct RankReading {
  int rank = 0;
  GbkText problem;
};

// The rank of the site's link found on 1-based page `page`, by the profile's rank rule;
// `results_read` is what the row's earlier pages held (see results_held). A field that is no
// whole number, or a rank outside 1 .. kMaxRank, reads as no rank: the page could not be read.
RankReading read_rank(const EngineProfile& profile, std::string_view page_text,
                      const FoundLink& link, int page, int results_read = 0);

// "第" + N + "名".
GbkText rank_cell_text(int rank);

// The number the page gives the card that holds the result link at 0-based `offset`: the
// digits between rank_left and rank_right inside the HTML tag around it; 0 when it has none.
int card_number(const EngineProfile& profile, std::string_view page_text, std::size_t offset);

// How many results the row's pages have held once this page is read, `results_read` being
// what the earlier ones held: the highest card number so far with the card_number rule (the
// engine counts its results itself; a number that cannot be this page's, not past
// `results_read` or more than page_size beyond it, does not count), else `results_read` + the
// page's result links.
int results_held(const EngineProfile& profile, std::string_view page_text, int results_read);

// Ranks each row of `rows` through the pool's members, each a client of its own with its own
// pacing clock (`pacing` applies to each) on a thread of its own; a row goes to whichever member
// is free. Pages of a row are read until the site's link is found, the profile's page count is
// reached (with counted paging: until the pages held page_count * page_size results, at most 100
// pages, or a page added none), or a page is no result page (see judge_page). Each result ends,
// with a detail saying why (and, with several members, which member asked), as a rank (the
// detail names the page and the link's address); kUnrecognisedText when the page's rank could
// not be read; otherwise kBlockedText when a page was blocked, kQueryFailedText when one failed,
// kUnrecognisedText when the first page could not be read, else kNotFoundText. A row without a
// keyword asks nothing and is not reported.
//
// A member the engine blocks hands its row to the others and rests for the block pause, then
// asks again; blocked again (or blocked with no pause set), it leaves the run. A member whose
// way out fails (no connection, a proxy's refusal) hands its row on and leaves after `failures`
// such rows in a row. A member alone in the run asks a blocked page once more after the block
// pause and keeps a failed row's "查询失败", as one client always did. When the last member
// leaves blocked, the rows nobody asked read kBlockedText, with where the engine blocked. With
// hooks.verify, a blocked member first waits for its verification. Every
// wait ends at once when `stop` is requested; the members then return, reporting nothing more.
void run_engine_pool(const EngineProfile& profile, std::span<const QueryRow> rows,
                     const std::vector<PoolMember>& members, const EnginePacing& pacing,
                     int failures, std::stop_token stop, const WorkerHooks& hooks = {});

// run_engine_pool with one member that fetches through `fetch`, on this thread.
void run_engine_worker(const EngineProfile& profile, std::span<const QueryRow> rows,
                       const PageSource& fetch, const EnginePacing& pacing, std::stop_token stop,
                       const WorkerHooks& hooks = {});

}  // namespace quillrank
