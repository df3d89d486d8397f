// The verdict on one fetched page: may the rank rules read it, or what else did the engine say?
// A pure function of the profile and what the fetch brought back.
#pragma once

#include <functional>
#include <string_view>

#include "engines/engine_profile.h"
#include "net/fetched_page.h"
#include "text/gbk_text.h"

namespace quillrank {

enum class Verdict {
  result,        // holds at least one result link of the profile's shape
  blocked,       // the engine refused the client (status, verification address or page)
  no_results,    // the engine's own "nothing found" page
  failed,        // no usable response
  unrecognised,  // a response in a form this profile cannot read
};

struct PageVerdict {
  Verdict verdict = Verdict::failed;
  GbkText reason;  // what was seen, in Chinese (GBK); empty for a result page
};

// The page text the verdict and the rank both read: the body up to its first zero byte (a page
// is text, and no text holds one).
std::string_view page_text_view(const FetchedPage& page);

// The body is read as page_text_view. In this order: an address a redirect led to (or the final
// one) that is a verification address: blocked; a transport that did not complete: failed; HTTP 403
// or 429: blocked; any other status that is not 2xx, or 204: failed; a result link (the profile's
// link prefix and a double quote, case ignored): result; a block signature: blocked; a no-results
// signature: no_results; else unrecognised. Signatures are the profile's.
PageVerdict judge_page(const EngineProfile& profile, const FetchedPage& page);

// Calls `visit` with the offset of each result link on `page` (the profile's link prefix and a
// double quote, ASCII case ignored) inside the page's part that holds the results (results_from
// to results_to), in page order, until it returns false. A page that is
// well-formed UTF-8 is searched at every byte, since its characters would put a walk over GBK
// characters out of step; any other page at GBK character starts.
void for_each_result_link(const EngineProfile& profile, std::string_view page,
                          const std::function<bool(std::size_t offset)>& visit);

// The verdict's name, as the rank history and the saved pages' index write it: "result",
// "blocked", "no_results", "failed" or "unrecognised".
std::string_view verdict_name(Verdict verdict);
// The verdict of a name verdict_name gives; unrecognised for any other.
Verdict verdict_named(std::string_view name);

// True when the response may be worth asking for again: the transfer failed or broke off, or
// the server answered 5xx.
bool worth_retrying(const FetchedPage& page);

}  // namespace quillrank
