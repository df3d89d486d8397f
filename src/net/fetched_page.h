// FetchedPage: what one fetch of a page brought back, and PageSource, the one way the workers,
// the site-entry expansion and both programs ask for a page (the live fetcher, or a test's fake).
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "text/gbk_text.h"

namespace quillrank {

// How the transfer itself ended, whatever the HTTP status said.
enum class Transport {
  complete,          // the whole response arrived
  not_sent,          // the address was unusable or over the limits: nothing was sent
  failed,            // no response, or the connection failed in mid-response
  cut_off,           // the body ended before its announced length
  too_long,          // the body passed the size cap
  refused_redirect,  // a redirect from a public address into a private network
  stopped,           // a stop request ended it
};

struct FetchedPage {
  ByteBuffer body;  // every body byte read, also when the transfer failed in mid-body
  long status = 0;  // final HTTP status, 0 when no response arrived
  Transport transport = Transport::failed;
  std::string error;      // the transfer library's words for a failed transport, else empty
  std::string final_url;  // the address the body came from, after redirects
  std::vector<std::string> redirects;  // every address a redirect led to, in order

  // A page to read: complete, with a 2xx status other than 204 (no content).
  bool ok() const {
    return transport == Transport::complete && status >= 200 && status < 300 && status != 204;
  }
};

// The HTTP version a request is sent with; http2: HTTP/2 where the server offers it over TLS,
// else HTTP/1.1.
enum class HttpVersion { http1_0, http1_1, http2 };

// Why a transfer did not complete, in Chinese (GBK): the transfer library's words where it has
// some. For a page whose transport is complete it says only that the connection failed.
GbkText transport_reason(const FetchedPage& page);

// What a request carries beyond the program's defaults.
struct RequestOptions {
  std::vector<std::string> headers{};  // "Name: value", sent after the program's own
  std::string user_agent{};            // empty: the program's own
  HttpVersion http_version = HttpVersion::http1_0;
  std::string accept_encoding{};  // encodings asked for and decoded; empty: none
  std::string referer{};          // the Referer header; empty: none
};

// One page to ask for: its address and, when not null, the options of the engine that asks.
// Made from the address alone, and read as the address alone by a source that needs no more
// (a test's fake), so either kind of caller and source fits a PageSource.
struct PageRequest {
  PageRequest(std::string_view address, const RequestOptions* with = nullptr)
      : url(address), options(with) {}
  PageRequest(const std::string& address) : url(address) {}
  PageRequest(const char* address) : url(address) {}
  operator std::string_view() const { return url; }

  std::string_view url;
  const RequestOptions* options = nullptr;
};

// Fetches one page; must return promptly once `stop` is requested.
using PageSource = std::function<FetchedPage(const PageRequest& request, std::stop_token stop)>;

}  // namespace quillrank
