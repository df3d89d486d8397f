// The page fetcher on libcurl: one easy handle and one multi handle per fetch, so no handle is
// ever shared between threads; curl_multi_poll lets a stop request wake the transfer at once.
#include "net/page_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

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

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void set_request_options(CURL* easy, const std::string& url, const std::string& user_agent,
                         curl_slist* headers, curl_slist* proxy_headers, Transfer& transfer) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, user_agent.empty() ? kUserAgent : user_agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, proxy_headers);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // keep cookies across the redirects of a fetch
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  // A server that trickles bytes cannot hold a fetch (and the window, during an expansion) for
  // longer than this.
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
  // A stopped fetch does not wait for a host name lookup in flight to finish.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallTimeoutSeconds);
  // Content-Length never limits what is read: the body ends when the server ends it, or when
  // the announced length has arrived and nothing follows (see complete_by_length).
  curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
}

// Runs the transfer to its end, or until `stop` is requested. Returns the transfer's result.
CURLcode perform(CURLM* multi, const Transfer& transfer, std::stop_token stop) {
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
      if (running > 0 && complete_by_length(transfer)) return CURLE_OK;
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

}  // namespace

PageFetcher::PageFetcher() { curl_global_init(CURL_GLOBAL_DEFAULT); }

PageFetcher& PageFetcher::instance() {
  static PageFetcher fetcher;  // initialised exactly once, even when threads race to it
  return fetcher;
}

PageSource PageFetcher::source(std::string connect_to) {
  return [connect_to = std::move(connect_to)](const PageRequest& request, std::stop_token stop) {
    static const RequestOptions kDefaults;
    return instance().fetch(request.url, stop, connect_to,
                            request.options ? *request.options : kDefaults);
  };
}

FetchedPage PageFetcher::fetch(std::string_view url, std::stop_token stop,
                               const std::string& connect_to, const RequestOptions& options) const {
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

  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  // One request per connection, asked of the server and of a proxy alike, so the end of the
  // connection ends the body.
  std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, "Pragma: no-cache"));
  if (headers) headers.reset(curl_slist_append(headers.release(), "Connection: close"));
  for (const std::string& header : options.headers) {
    if (headers) headers.reset(curl_slist_append(headers.release(), header.c_str()));
  }
  std::unique_ptr<curl_slist, SlistDeleter> proxy_headers(
      curl_slist_append(nullptr, "Proxy-Connection: close"));
  std::unique_ptr<curl_slist, SlistDeleter> route(
      connect_to.empty() ? nullptr : curl_slist_append(nullptr, ("::" + connect_to).c_str()));
  if (!easy || !multi || !headers || !proxy_headers || (!connect_to.empty() && !route)) {
    return result;
  }
  if (route) {
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, route.get());
    curl_easy_setopt(easy.get(), CURLOPT_NOPROXY, "*");
  }

  Transfer transfer;
  transfer.easy = easy.get();
  transfer.private_origin = is_private_address(parts->host);
  const std::string wire_url = escape_request_bytes(url);
  set_request_options(easy.get(), wire_url, options.user_agent, headers.get(), proxy_headers.get(),
                      transfer);
  if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) return result;
  const CURLcode code = perform(multi.get(), transfer, stop);
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &result.status);
  const char* final_url = nullptr;
  if (curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url) {
    result.final_url = final_url;
  }
  curl_multi_remove_handle(multi.get(), easy.get());

  // A body shorter than its announced length was cut off: its bytes are kept, but it failed.
  const std::size_t announced = announced_length(transfer.content_length).value_or(0);
  if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.transport = Transport::stopped;
  } else if (transfer.too_long) {
    result.transport = Transport::too_long;
  } else if (transfer.refused_redirect) {
    result.transport = Transport::refused_redirect;
  } else if (code != CURLE_OK) {
    result.transport = Transport::failed;
    result.error = curl_easy_strerror(code);
  } else {
    result.transport = transfer.body.size() >= announced ? Transport::complete : Transport::cut_off;
  }
  if (!transfer.addresses.empty()) {
    result.redirects.assign(transfer.addresses.begin() + 1, transfer.addresses.end());
  }
  result.body.bytes = std::move(transfer.body);
  return result;
}

std::size_t read_chunk_size(std::optional<std::string_view> content_length) {
  constexpr std::size_t kDefault = 10240, kMax = 102400;
  if (!content_length || content_length->size() > 31) return kDefault;
  const std::optional<std::size_t> n = content_length_value(*content_length, kMax);
  if (!n || *n == 0) return kDefault;
  return std::min<std::size_t>(*n + 1, kMax);
}

}  // namespace quillrank
