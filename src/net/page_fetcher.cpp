// The page fetcher on libcurl: one easy handle and one multi handle per fetch, or per session
// (one engine's run, on one thread), so no handle is ever shared between threads;
// curl_multi_poll lets a stop request wake the transfer at once.
#include "net/page_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "net/cookie_jar.h"
#include "net/proxy_address.h"
#include "net/url_parts.h"

namespace quillrank {
namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

using Clock = std::chrono::steady_clock;

struct Transfer {
  CURL* easy = nullptr;
  bool private_origin = false;  // the URL given names a loopback or private address
  std::string body;
  std::optional<std::string> content_length;  // of the response being read
  long status = 0;                            // of the response being read
  bool location = false;                      // the response being read names a place to go
  std::string location_url;                   // and this is the place (as the header says)
  bool head_done = false;                     // the response being read has all its header lines
  Clock::time_point last_byte = Clock::now();
  bool too_long = false;
  bool refused_redirect = false;
  std::vector<std::string> addresses;  // of each response, in order: the URL, then redirects
};

// A header line's value after "name:", without blanks around it or the line end.
std::optional<std::string_view> header_value(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || !curl_strnequal(line.data(), name.data(), name.size()) ||
      line[name.size()] != ':') {
    return std::nullopt;
  }
  std::string_view value = line.substr(name.size() + 1);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
    value.remove_suffix(1);
  }
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  return value;
}

// A Location that leads from a public address to a loopback or private one is not followed:
// an engine's or a home page's answer must not turn the fetcher against the user's own network.
bool redirect_allowed(CURL* easy, std::string_view location) {
  const char* current = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &current) != CURLE_OK || !current) {
    return false;
  }
  CURLU* url = curl_url();
  char* host = nullptr;
  const bool parsed =
      url && curl_url_set(url, CURLUPART_URL, current, 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, std::string(location).c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK;
  const bool allowed = parsed && !is_private_address(host);
  curl_free(host);
  curl_url_cleanup(url);
  return allowed;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  transfer->last_byte = Clock::now();
  if (line.starts_with("HTTP/")) {
    transfer->content_length.reset();  // a new response (after a redirect or a 100)
    transfer->head_done = false;
    transfer->location = false;
    transfer->location_url.clear();
    const std::size_t blank = line.find(' ');
    transfer->status = blank == std::string_view::npos
                           ? 0
                           : std::atol(std::string(line.substr(blank + 1, 3)).c_str());
    const char* address = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &address);
    if (address && (transfer->addresses.empty() || transfer->addresses.back() != address)) {
      transfer->addresses.emplace_back(address);
    }
  } else if (line == "\r\n" || line == "\n") {
    transfer->head_done = true;
  } else if (const auto length = header_value(line, "content-length")) {
    transfer->content_length = std::string(*length);
  } else if (const auto location = header_value(line, "location")) {
    const long status = transfer->status;
    transfer->location = true;
    transfer->location_url = std::string(*location);
    if (status >= 300 && status < 400 && !transfer->private_origin &&
        !redirect_allowed(transfer->easy, *location)) {
      transfer->refused_redirect = true;
      transfer->addresses.emplace_back(*location);
      return 0;  // aborts the transfer
    }
  }
  return size * count;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  if (transfer->body.size() + n > kMaxBodyBytes) {
    transfer->too_long = true;
    return 0;  // aborts the transfer: CURLE_WRITE_ERROR
  }
  // The buffer grows by at least the announced chunk, and geometrically, so a long body costs
  // a few reallocations on any standard library. Past 1 MiB it takes the whole cap at once: only
  // the pages written to are resident, and no later reallocation holds two copies of a long body.
  const std::size_t needed = transfer->body.size() + n;
  if (transfer->body.capacity() < needed) {
    constexpr std::size_t kLongBody = std::size_t{1} << 20;
    transfer->body.reserve(
        needed > kLongBody ? kMaxBodyBytes
                           : std::max(transfer->body.size() +
                                          std::max(n, read_chunk_size(transfer->content_length)),
                                      2 * transfer->body.capacity()));
  }
  transfer->body.append(data, n);
  transfer->last_byte = Clock::now();
  return n;
}

// A Content-Length value: blanks before it skipped, an optional '+', then digits (what follows
// them ignored), capped at `cap`; nullopt without a digit, or for a negative value.
std::optional<std::size_t> content_length_value(std::string_view text, std::size_t cap) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::size_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    n = std::min(n * 10 + static_cast<std::size_t>(c - '0'), cap);
  }
  return n;
}

// The announced length of the response being read, capped just above the body cap.
std::optional<std::size_t> announced_length(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return content_length_value(*value, kMaxBodyBytes + 1);
}

// A server that keeps the connection open after the whole announced body (a keep-alive proxy)
// has finished the page once no further byte came for a short while. Only the final response
// counts: not an interim 1xx, nor a redirect on its way to the next address.
bool complete_by_length(const Transfer& transfer) {
  const std::optional<std::size_t> announced = announced_length(transfer.content_length);
  const bool final = transfer.status >= 200 &&
                     !(transfer.status < 400 && transfer.status >= 300 && transfer.location);
  return transfer.head_done && final && announced && transfer.body.size() >= *announced &&
         Clock::now() - transfer.last_byte >= kCompleteBodyGrace;
}

// A redirect whose head has arrived on a connection the server keeps open, nothing following it
// for a short while: the transfer library, which ignores a redirect's body, would wait for the
// close (or the stall time-out) before following it.
bool redirect_waiting(const Transfer& transfer) {
  return transfer.head_done && transfer.status >= 300 && transfer.status < 400 &&
         transfer.location && Clock::now() - transfer.last_byte >= kCompleteBodyGrace;
}

// Where the waiting redirect leads: its Location resolved against the address it answered.
std::optional<std::string> redirect_target(const Transfer& transfer) {
  const char* current = nullptr;
  if (curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &current) != CURLE_OK || !current) {
    return std::nullopt;
  }
  CURLU* url = curl_url();
  char* target = nullptr;
  const bool resolved =
      url && curl_url_set(url, CURLUPART_URL, current, 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, transfer.location_url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &target, 0) == CURLUE_OK;
  std::optional<std::string> found;
  if (resolved) found = target;
  curl_free(target);
  curl_url_cleanup(url);
  return found;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// `list` with `line` appended; null when either is null (out of memory).
Slist appended(Slist list, const std::string& line) {
  if (!list) return list;
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) return nullptr;
  list.release();
  return Slist(grown);
}

long curl_http_version(HttpVersion version) {
  switch (version) {
    case HttpVersion::http1_0:
      return CURL_HTTP_VERSION_1_0;
    case HttpVersion::http1_1:
      return CURL_HTTP_VERSION_1_1;
    case HttpVersion::http2:
      break;
  }
  return CURL_HTTP_VERSION_2TLS;
}

// A client: one easy handle and the multi handle that drives it. A fetch of its own makes one
// and drops it; a session keeps one for an engine's run, so its connections (in the multi
// handle's cache), TLS sessions and cookies (in the easy handle) serve every page.
struct Client {
  std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
  std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
};

// How the transfer reads a reply. Alone: one request per connection, "Connection: close" asked
// of the server and of a proxy, and the body ends when the connection does (or when the
// announced length has arrived and nothing followed, see complete_by_length). In a session:
// the connection is kept and the body is what Content-Length or the chunks announce.
struct Mode {
  bool session = false;
  std::string connect_to;
  std::string ca_file;
  std::string proxy;  // a proxy URL for every request; empty: the system proxy
};

// Routes every request of the transfer through `proxy`, whatever the environment's proxy
// variables say (no_proxy included). The credentials go apart from the proxy's address, so no
// URL the transfer library keeps or logs carries them. Without a proxy, the environment decides.
void set_proxy(CURL* easy, const std::optional<ProxyAddress>& proxy) {
  if (!proxy) return;
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy->shown().c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME,
                   proxy->user.empty() ? nullptr : proxy->user.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD,
                   proxy->user.empty() ? nullptr : proxy->password.c_str());
}

void set_request_options(CURL* easy, const std::string& url, const RequestOptions& options,
                         curl_slist* headers, curl_slist* proxy_headers, const Mode& mode,
                         Transfer& transfer) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, curl_http_version(options.http_version));
  curl_easy_setopt(easy, CURLOPT_USERAGENT,
                   options.user_agent.empty() ? kUserAgent : options.user_agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, proxy_headers);
  curl_easy_setopt(easy, CURLOPT_REFERER,
                   options.referer.empty() ? nullptr : options.referer.c_str());
  const std::string encodings = decodable_encodings(options.accept_encoding);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, encodings.empty() ? nullptr : encodings.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // Alone: cookies kept across the redirects of the fetch (a session's store is on already).
  if (!mode.session) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  // A server that trickles bytes cannot hold a fetch (and the window, during an expansion) for
  // longer than this.
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
  // A stopped fetch does not wait for a host name lookup in flight to finish.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallTimeoutSeconds);
  // Alone, Content-Length never limits what is read: the body ends when the server ends it, or
  // when the announced length has arrived and nothing follows (see complete_by_length). A kept
  // connection needs the announced length to know where the next reply starts; bytes past it
  // make the transfer library close that connection instead of reading them as the next reply.
  curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, mode.session ? 0L : 1L);
  if (!mode.ca_file.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, mode.ca_file.c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
}

// Runs the transfer to its end, or until `stop` is requested, or until a redirect waits (see
// redirect_waiting; `redirect` says so). Returns the transfer's result.
CURLcode perform(CURLM* multi, const Transfer& transfer, bool session, std::stop_token stop,
                 bool& redirect) {
  redirect = false;
  std::atomic<bool> stopped{false};
  {
    // The callback may run on the stopping thread; its destructor waits for it to finish.
    std::stop_callback on_stop(stop, [&] {
      stopped = true;
      curl_multi_wakeup(multi);
    });
    constexpr int kPollMs = static_cast<int>(kCompleteBodyGrace.count() / 4);
    int running = 1;
    while (!stopped && running > 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
      if (running > 0 && !session && complete_by_length(transfer)) return CURLE_OK;
      if (running > 0 && redirect_waiting(transfer)) {
        redirect = true;
        return CURLE_OK;
      }
      if (running > 0 && curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
        return CURLE_FAILED_INIT;
      }
    }
  }
  if (stopped) return CURLE_ABORTED_BY_CALLBACK;
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg == CURLMSG_DONE) return message->data.result;
  }
  return CURLE_FAILED_INIT;
}

// One GET of `url` by `client`.
FetchedPage fetch_with(Client& client, std::string_view url, std::stop_token stop, const Mode& mode,
                       const RequestOptions& options) {
  FetchedPage result;
  result.final_url = std::string(url);
  if (stop.stop_requested()) {
    result.transport = Transport::stopped;
    return result;
  }
  const std::optional<UrlParts> parts = split_url(url);
  if (!parts || !within_request_limits(*parts)) {
    result.transport = Transport::not_sent;
    return result;
  }
  std::optional<ProxyAddress> proxy;
  if (!mode.proxy.empty()) {
    auto parsed = parse_proxy_address(mode.proxy);
    if (const auto* what = std::get_if<std::string>(&parsed)) {
      result.transport = Transport::not_sent;
      result.error = "proxy " + *what;
      return result;
    }
    proxy = std::move(std::get<ProxyAddress>(parsed));
  }

  CURL* easy = client.easy.get();
  CURLM* multi = client.multi.get();
  Slist headers, proxy_headers;
  if (mode.session) {
    headers.reset(curl_slist_append(nullptr, "Connection: keep-alive"));
  } else {
    // One request per connection, asked of the server and of a proxy alike, so the end of the
    // connection ends the body.
    headers = appended(Slist(curl_slist_append(nullptr, "Pragma: no-cache")), "Connection: close");
    proxy_headers.reset(curl_slist_append(nullptr, "Proxy-Connection: close"));
  }
  for (const std::string& header : options.headers) headers = appended(std::move(headers), header);
  Slist route(mode.connect_to.empty()
                  ? nullptr
                  : curl_slist_append(nullptr, ("::" + mode.connect_to).c_str()));
  if (!easy || !multi || !headers || (!mode.session && !proxy_headers) ||
      (!mode.connect_to.empty() && !route)) {
    return result;
  }
  curl_easy_setopt(easy, CURLOPT_CONNECT_TO, route.get());
  set_proxy(easy, proxy);
  if (route) curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");

  Transfer transfer;
  transfer.easy = easy;
  transfer.private_origin = is_private_address(parts->host);
  const std::string wire_url = escape_request_bytes(url);
  set_request_options(easy, wire_url, options, headers.get(), proxy_headers.get(), mode, transfer);
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return result;
  bool redirect = false;
  CURLcode code = perform(multi, transfer, mode.session, stop, redirect);
  // A redirect the server keeps its connection open after is followed here, at once.
  std::string next;
  for (int hop = 0; redirect && hop < kMaxRedirects; ++hop) {
    const std::optional<std::string> target = redirect_target(transfer);
    curl_multi_remove_handle(multi, easy);
    if (!target) {
      code = CURLE_TOO_MANY_REDIRECTS;
      break;
    }
    next = escape_request_bytes(*target);
    curl_easy_setopt(easy, CURLOPT_URL, next.c_str());
    transfer.body.clear();
    transfer.content_length.reset();
    transfer.head_done = false;
    transfer.location = false;
    transfer.last_byte = Clock::now();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return result;
    code = perform(multi, transfer, mode.session, stop, redirect);
  }
  if (redirect) code = CURLE_TOO_MANY_REDIRECTS;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
  const char* final_url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url) {
    result.final_url = final_url;
  }
  curl_multi_remove_handle(multi, easy);
  // The lists die with this call: the handle must not point at them when it is used again.
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, nullptr);
  curl_easy_setopt(easy, CURLOPT_CONNECT_TO, nullptr);

  // A body shorter than its announced length was cut off: its bytes are kept, but it failed.
  // (A decoded body is longer than the compressed length announced.)
  const std::size_t announced = announced_length(transfer.content_length).value_or(0);
  if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.transport = Transport::stopped;
  } else if (transfer.too_long) {
    result.transport = Transport::too_long;
  } else if (transfer.refused_redirect) {
    result.transport = Transport::refused_redirect;
  } else if (code == CURLE_PARTIAL_FILE) {
    result.transport = Transport::cut_off;
  } else if (code != CURLE_OK) {
    result.transport = Transport::failed;
    result.error = curl_easy_strerror(code);
    // Which member of a pool failed, by its name alone: never its credentials.
    if (proxy) result.error += " (through " + proxy->shown() + ")";
  } else {
    result.transport = transfer.body.size() >= announced ? Transport::complete : Transport::cut_off;
  }
  if (!transfer.addresses.empty()) {
    result.redirects.assign(transfer.addresses.begin() + 1, transfer.addresses.end());
  }
  result.body.bytes = std::move(transfer.body);
  return result;
}

// One engine's client for a run: the pages of the engine over kept connections, with one
// cookie store, read from and written back to the engine's cookie file when it has one.
class Session {
 public:
  explicit Session(SessionSetup setup)
      : setup_(std::move(setup)), mode_{true, setup_.connect_to, setup_.ca_file, setup_.proxy} {
    CURL* easy = client_.easy.get();
    if (!easy) return;
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    read_cookies();
    warmed_up_ = setup_.warm_up_page.empty() || !cookie_lines().empty();
  }

  FetchedPage fetch(const PageRequest& request, std::stop_token stop) {
    static const RequestOptions kDefaults;
    const RequestOptions& options = request.options ? *request.options : kDefaults;
    // The engine's browser pages (a verification a person passed) may have written the file.
    if (cookie_file_stamp(setup_.cookie_file) != stamp_) read_cookies();
    if (!warmed_up_) {
      // A returning visitor has the engine's cookies: a first one comes through the front door.
      warmed_up_ = true;
      RequestOptions visit = options;
      visit.referer.clear();
      fetch_with(client_, setup_.warm_up_page, stop, mode_, visit);
    }
    FetchedPage page = fetch_with(client_, request.url, stop, mode_, options);
    if (!setup_.cookie_file.empty() && write_cookie_file(setup_.cookie_file, cookie_lines())) {
      stamp_ = cookie_file_stamp(setup_.cookie_file);
    }
    return page;
  }

 private:
  // Takes the cookie file's cookies into the store (a cookie of the same name, domain and path
  // is replaced) and notes which version of the file it read.
  void read_cookies() {
    if (setup_.cookie_file.empty() || !client_.easy) return;
    stamp_ = cookie_file_stamp(setup_.cookie_file);
    for (const std::string& line : read_cookie_file(setup_.cookie_file)) {
      curl_easy_setopt(client_.easy.get(), CURLOPT_COOKIELIST, line.c_str());
    }
  }

  std::vector<std::string> cookie_lines() const {
    std::vector<std::string> lines;
    curl_slist* list = nullptr;
    if (client_.easy &&
        curl_easy_getinfo(client_.easy.get(), CURLINFO_COOKIELIST, &list) == CURLE_OK) {
      for (curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
    }
    curl_slist_free_all(list);
    return lines;
  }

  SessionSetup setup_;
  Mode mode_;
  Client client_;
  bool warmed_up_ = true;
  std::optional<CookieFileStamp> stamp_;  // the file as the store last read or wrote it
};

}  // namespace

std::string decodable_encodings(std::string_view wanted) {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  auto decodable = [info](std::string_view name) {
    if (name == "gzip" || name == "deflate") return (info->features & CURL_VERSION_LIBZ) != 0;
    if (name == "br") return (info->features & CURL_VERSION_BROTLI) != 0;
    if (name == "zstd") return (info->features & CURL_VERSION_ZSTD) != 0;
    return name == "identity";
  };
  std::string kept;
  while (!wanted.empty()) {
    const std::size_t comma = wanted.find(',');
    std::string_view name = wanted.substr(0, comma);
    wanted.remove_prefix(comma == std::string_view::npos ? wanted.size() : comma + 1);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty() && decodable(name)) kept += (kept.empty() ? "" : ", ") + std::string(name);
  }
  return kept;
}

PageFetcher::PageFetcher() { curl_global_init(CURL_GLOBAL_DEFAULT); }

PageFetcher& PageFetcher::instance() {
  static PageFetcher fetcher;  // initialised exactly once, even when threads race to it
  return fetcher;
}

PageSource PageFetcher::source(std::string connect_to, std::string proxy) {
  instance();  // the transfer library is set up before the first handle
  return [mode = Mode{false, std::move(connect_to), {}, std::move(proxy)}](
             const PageRequest& request, std::stop_token stop) {
    static const RequestOptions kDefaults;
    Client client;
    return fetch_with(client, request.url, stop, mode,
                      request.options ? *request.options : kDefaults);
  };
}

PageSource PageFetcher::session_source(SessionSetup setup) {
  instance();  // the transfer library is set up before the first handle
  auto session = std::make_shared<Session>(std::move(setup));
  return [session](const PageRequest& request, std::stop_token stop) {
    return session->fetch(request, stop);
  };
}

FetchedPage PageFetcher::fetch(std::string_view url, std::stop_token stop,
                               const std::string& connect_to, const RequestOptions& options) const {
  Client client;
  return fetch_with(client, url, stop, Mode{false, connect_to, {}, {}}, options);
}

std::size_t read_chunk_size(std::optional<std::string_view> content_length) {
  constexpr std::size_t kDefault = 10240, kMax = 102400;
  if (!content_length || content_length->size() > 31) return kDefault;
  const std::optional<std::size_t> n = content_length_value(*content_length, kMax);
  if (!n || *n == 0) return kDefault;
  return std::min<std::size_t>(*n + 1, kMax);
}

}  // namespace quillrank
