// The page fetcher on libcurl: one easy handle and one multi handle per fetch, so no handle is
// ever shared between threads; curl_multi_poll lets a stop request wake the transfer at once.
#include "net/page_fetcher.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <optional>

#include "net/url_parts.h"

namespace quillrank {
namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

struct Transfer {
  std::string body;
  std::optional<std::string> content_length;  // of the response being read
  bool too_long = false;
};

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    transfer->content_length.reset();  // a new response (after a redirect or a 100)
  } else if (line.size() > 15 && curl_strnequal(line.data(), "content-length:", 15)) {
    std::string_view value = line.substr(15);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.remove_suffix(1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    transfer->content_length = std::string(value);
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
  // a few reallocations on any standard library.
  if (transfer->body.capacity() < transfer->body.size() + n) {
    transfer->body.reserve(
        std::max(transfer->body.size() + std::max(n, read_chunk_size(transfer->content_length)),
                 2 * transfer->body.capacity()));
  }
  transfer->body.append(data, n);
  return n;
}

// The Content-Length value as a number, 0 when it is not one.
std::size_t announced_length(std::string_view value) {
  std::size_t n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') break;
    n = std::min(n * 10 + static_cast<std::size_t>(c - '0'), kMaxBodyBytes + 1);
  }
  return n;
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

void set_request_options(CURL* easy, const std::string& url, curl_slist* headers,
                         Transfer& transfer) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
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
  // Content-Length never limits what is read: the body ends when the server ends it.
  curl_easy_setopt(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
}

// Runs the transfer to its end, or until `stop` is requested. Returns the transfer's result.
CURLcode perform(CURLM* multi, std::stop_token stop) {
  std::atomic<bool> stopped{false};
  {
    // The callback may run on the stopping thread; its destructor waits for it to finish.
    std::stop_callback on_stop(stop, [&] {
      stopped = true;
      curl_multi_wakeup(multi);
    });
    int running = 1;
    while (!stopped && running > 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
      if (running > 0 && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
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

FetchResult PageFetcher::fetch(std::string_view url, std::stop_token stop) const {
  FetchResult result;
  const std::optional<UrlParts> parts = split_url(url);
  if (!parts || !within_request_limits(*parts) || stop.stop_requested()) return result;

  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, "Pragma: no-cache"));
  if (!easy || !multi || !headers) return result;

  Transfer transfer;
  const std::string wire_url = escape_request_bytes(url);
  set_request_options(easy.get(), wire_url, headers.get(), transfer);
  if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) return result;
  const CURLcode code = perform(multi.get(), stop);
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &result.status);
  curl_multi_remove_handle(multi.get(), easy.get());

  // A body shorter than its announced length was cut off: its bytes are kept, but it failed.
  const std::size_t announced =
      transfer.content_length ? announced_length(*transfer.content_length) : 0;
  result.ok = code == CURLE_OK && !transfer.too_long && result.status > 0 && result.status < 400 &&
              transfer.body.size() >= announced;
  result.body.bytes = std::move(transfer.body);
  return result;
}

std::size_t read_chunk_size(std::optional<std::string_view> content_length) {
  constexpr std::size_t kDefault = 10240, kMax = 102400;
  if (!content_length || content_length->size() > 31) return kDefault;
  std::string_view text = *content_length;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  unsigned long long n = 0;
  for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = std::min<unsigned long long>(n * 10 + static_cast<unsigned>(text[i] - '0'), kMax);
  }
  if (negative || n == 0) return kDefault;
  return std::min<std::size_t>(n + 1, kMax);
}

}  // namespace quillrank
