// PageFetcher: one HTTP GET of one URL, the program's only network access. One instance for the
// process; fetch from any thread, any number at once. Every fetch can be cancelled through its
// stop token and then ends within milliseconds.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "net/fetched_page.h"

namespace quillrank {

inline constexpr long kConnectTimeoutSeconds = 30;
inline constexpr long kTransferTimeoutSeconds = 300;  // a whole fetch, redirects included
inline constexpr long kStallTimeoutSeconds = 60;      // no byte received for this long fails
// A longer body fails at this size. Result pages and home pages weigh well under a few MB; the
// cap bounds what one fetch holds (with the buffer's growth, about 1.5 times this at most).
inline constexpr std::size_t kMaxBodyBytes = 16u << 20;
inline constexpr long kMaxRedirects = 10;
// Once the announced Content-Length has arrived, this long without a further byte ends the body.
inline constexpr std::chrono::milliseconds kCompleteBodyGrace{1000};

// What one engine's session is set up with for a run.
struct SessionSetup {
  std::string cookie_file{};   // where its cookies are kept between runs; empty: for the run only
  std::string warm_up_page{};  // visited before the first page when the cookie store is empty
  std::string connect_to{};    // as for PageFetcher::fetch
  std::string ca_file{};       // certificates to trust instead of the system's (tests only)
  std::string proxy{};         // as for PageFetcher::source
};

class PageFetcher {
 public:
  static PageFetcher& instance();

  // GET `url` (a complete absolute http or https URL) by a client of its own: HTTP/1.0 (unless
  // the options say otherwise), the program's User-Agent, one "Accept: */*", no cache, the
  // connection closed after the reply, redirects followed (but
  // not from a public address to a loopback or private IP literal), the system proxy
  // (http_proxy, https_proxy, no_proxy) honoured, the fragment never sent. A URL that is empty,
  // unparseable or over the part limits sends nothing and fails.
  //
  // `connect_to`, when not empty, is "HOST:PORT": every connection of the fetch goes there,
  // whatever host and port the URLs name and whatever the proxy settings say, while the
  // requests stay as the URLs make them. Tests use it to play the engines on 127.0.0.1.
  //
  // `options` adds request headers and replaces the User-Agent.
  FetchedPage fetch(std::string_view url, std::stop_token stop = {},
                    const std::string& connect_to = {}, const RequestOptions& options = {}) const;

  // The fetcher as a PageSource, with `connect_to` as above and each request's options.
  //
  // `proxy`, when not empty, is a proxy URL (see parse_proxy_address) that every request goes
  // through, whatever the system proxy and no_proxy say; its credentials go to the proxy alone
  // and no failure text carries them (a failed transfer's error ends "(through
  // scheme://host:port)"). A socks5h proxy resolves host names itself. A proxy URL that does
  // not parse sends nothing: the page is not_sent, with the reason in its error. `connect_to`
  // still wins over the proxy.
  static PageSource source(std::string connect_to = {}, std::string proxy = {});

  // A PageSource of its own for one engine's run, on one thread: one client that keeps its
  // connections and TLS sessions between pages and one cookie store, read from
  // `setup.cookie_file` at the start and written back (mode 0600) after every page. A reply's
  // body is what its Content-Length or chunks announce; the request carries the options'
  // HTTP version, headers, User-Agent, Accept-Encoding and Referer, and "Connection:
  // keep-alive" instead of the lone fetch's "Pragma: no-cache" and "Connection: close".
  static PageSource session_source(SessionSetup setup);

 private:
  PageFetcher();
};

// The encodings of an Accept-Encoding text ("gzip, deflate, br, zstd") that this build of the
// transfer library decodes, in the order given, joined by ", ".
std::string decodable_encodings(std::string_view wanted);

// How much buffer a body gets at a time, from the Content-Length header's value: n + 1 for a
// readable n > 0, capped at 102400; 10240 when the header is absent (nullopt), unreadable, too
// long for 31 bytes, or not positive.
std::size_t read_chunk_size(std::optional<std::string_view> content_length);

}  // namespace quillrank
