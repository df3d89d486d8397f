// A test-only HTTP/1.x server on 127.0.0.1: records every request head and answers with replies
// a test builds, including broken ones (wrong lengths, cut-off bodies, stalls, kept open).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quillrank::testing {

struct HttpRequest {
  std::string method;   // "GET"
  std::string target;   // exactly as sent; absolute ("http://host/path") when we act as a proxy
  std::string version;  // "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
  std::string raw_head;  // every byte of the request up to and including the blank line
  int connection = 0;    // which connection it came over: 1, 2, ... in the order accepted

  // First value of the header named `name` (ASCII case-insensitive), "" if absent.
  std::string header(std::string_view name) const;
  // How many headers are named `name` (ASCII case-insensitive).
  std::size_t header_count(std::string_view name) const;
  // The address asked for: the target when absolute (through a proxy), else "http://" + Host +
  // target (a fetch routed here).
  std::string url() const;
};

// What to send back. The head is "HTTP/1.0 <status> <reason>", "Content-Length" (unless
// omitted), "Connection: close" (unless kept open), the extra headers, a blank line; then the
// body, then the connection is closed.
struct HttpReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers = {};  // extra headers, sent as given
  std::string body = {};
  std::optional<long long> content_length =
      std::nullopt;                               // announced Content-Length; nullopt: body.size()
  bool omit_content_length = false;               // send no Content-Length at all
  std::size_t close_after_body_bytes = SIZE_MAX;  // send only this many body bytes, then close
  // Without stall_after_body_bytes: read the request, then wait this long before sending anything.
  std::chrono::milliseconds stall_before_reply{0};
  // Send the head and this many body bytes, wait stall_before_reply, then send the rest.
  std::size_t stall_after_body_bytes = SIZE_MAX;
  // After the reply, keep the connection open (announcing "Connection: keep-alive") and serve
  // the next request that comes over it, until the client closes it or the server stops, as a
  // keep-alive server or proxy does.
  bool keep_open = false;
};

// Called on the connection's own thread, so possibly from several threads at once. An exception
// it throws becomes a 500 reply carrying the exception's message.
using Handler = std::function<HttpReply(const HttpRequest&)>;

// Serves each connection on its own thread (at most kMaxConnections at once; more wait in the
// listen queue), one request per connection unless a reply keeps it open.
class FixtureServer {
 public:
  static constexpr std::size_t kMaxConnections = 64;
  static constexpr std::size_t kMaxHeadBytes = 64 * 1024;  // larger heads get a 431, unrecorded

  // Binds 127.0.0.1 on a free port and starts serving at once. Throws std::system_error.
  explicit FixtureServer(Handler handler);
  // Stops promptly, even while replies are stalling, and joins every thread.
  ~FixtureServer();

  FixtureServer(const FixtureServer&) = delete;
  FixtureServer& operator=(const FixtureServer&) = delete;

  int port() const { return port_; }
  std::string base_url() const;  // "http://127.0.0.1:PORT"
  std::string route() const;     // "127.0.0.1:PORT", for PageFetcher::source

  std::vector<HttpRequest> requests() const;  // every request received so far, in arrival order
  std::size_t request_count() const;
  void set_handler(Handler handler);

 private:
  struct Connection {
    int fd = -1;  // -1 once the connection's thread has closed it
    bool done = false;
    int number = 0;  // 1, 2, ... in the order accepted
    std::thread thread;
  };

  void accept_loop();
  void serve(Connection* connection, int fd);
  void finish(Connection* connection);                     // closes the socket, frees the slot
  void join_finished(std::unique_lock<std::mutex>& lock);  // joins threads that are done
  std::size_t active_connections() const;                  // with mutex_ held

  int port_ = 0;
  int listen_fd_ = -1;
  int wake_read_fd_ = -1;  // becomes readable, for good, once the server stops
  int wake_write_fd_ = -1;

  mutable std::mutex mutex_;
  std::condition_variable slot_freed_;
  bool stopping_ = false;
  Handler handler_;
  std::vector<HttpRequest> requests_;
  int accepted_ = 0;                   // connections accepted so far
  std::list<Connection> connections_;  // a list, so each thread's pointer stays valid
  std::thread acceptor_;
};

// A port on 127.0.0.1 with nothing listening, for "connection refused" tests.
int refused_port();

}  // namespace quillrank::testing
