// The test-only HTTP/1.x server: one acceptor thread plus a thread per connection, all of them
// woken at once by a self-pipe when the server stops.
#include "support/fixture_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace quillrank::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;  // nullopt: wait for ever

constexpr std::chrono::milliseconds kLingerTime{2000};
constexpr std::chrono::milliseconds kAcceptRetryDelay{20};

[[noreturn]] void throw_errno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return fold(x) == fold(y); });
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int timeout_ms(const Deadline& deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// Waits for `events` on `fd`. False on timeout or once `wake_fd` is readable, that is once the
// server stops; true when `fd` is ready or has failed.
bool wait_ready(int fd, short events, int wake_fd, const Deadline& deadline) {
  for (;;) {
    pollfd fds[2] = {{wake_fd, POLLIN, 0}, {fd, events, 0}};
    const int ready = poll(fds, 2, timeout_ms(deadline));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && fds[0].revents == 0;
  }
}

// Waits `duration` unless the server stops first; false when it did.
bool pause(int wake_fd, std::chrono::milliseconds duration) {
  const Deadline deadline = Clock::now() + duration;
  for (;;) {
    pollfd wake = {wake_fd, POLLIN, 0};
    const int ready = poll(&wake, 1, timeout_ms(deadline));
    if (ready > 0) return false;
    if (ready == 0 && Clock::now() >= *deadline) return true;
  }
}

// False when the peer went away or the server stopped.
bool send_all(int fd, std::string_view bytes, int wake_fd) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_ready(fd, POLLOUT, wake_fd, std::nullopt)) return false;
    } else {
      return false;
    }
  }
  return true;
}

enum class HeadResult { kComplete, kTooLarge, kGone };

// Reads up to and including the first empty line (CRLF or bare LF endings; empty lines before the
// request line are skipped). Bytes after it are read too but dropped.
HeadResult read_head(int fd, int wake_fd, std::string& head) {
  std::string buffer;
  std::size_t line_start = 0;
  std::size_t scanned = 0;
  bool seen_request_line = false;
  char chunk[4096];
  for (;;) {
    for (; scanned < buffer.size(); ++scanned) {
      if (buffer[scanned] != '\n') continue;
      const std::string_view line(buffer.data() + line_start, scanned - line_start);
      line_start = scanned + 1;
      if (line.empty() || line == "\r") {
        if (seen_request_line) {
          head = buffer.substr(0, scanned + 1);
          return HeadResult::kComplete;
        }
      } else {
        seen_request_line = true;
      }
    }
    if (buffer.size() > FixtureServer::kMaxHeadBytes) return HeadResult::kTooLarge;
    if (!wait_ready(fd, POLLIN, wake_fd, std::nullopt)) return HeadResult::kGone;
    const ssize_t got = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got > 0) {
      buffer.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
      return HeadResult::kGone;
    }
  }
}

HttpRequest parse_head(std::string head) {
  HttpRequest request;
  std::string_view rest = head;
  bool first = true;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line.empty()) continue;
      first = false;
      const auto space1 = line.find(' ');
      const auto space2 = line.rfind(' ');
      request.method = line.substr(0, space1);
      if (space1 != std::string_view::npos) {
        if (space2 == space1) {
          request.target = line.substr(space1 + 1);
        } else {
          request.target = line.substr(space1 + 1, space2 - space1 - 1);
          request.version = line.substr(space2 + 1);
        }
      }
    } else if (line.empty()) {
      break;
    } else if ((line[0] == ' ' || line[0] == '\t') && !request.headers.empty()) {
      std::string& value = request.headers.back().second;  // an obsolete folded continuation
      value += ' ';
      value += trim(line);
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
      request.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
  }
  request.raw_head = std::move(head);
  return request;
}

std::string build_head(const HttpReply& reply) {
  std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  if (!reply.omit_content_length) {
    const long long length =
        reply.content_length.value_or(static_cast<long long>(reply.body.size()));
    head += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  head += reply.keep_open ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
  head += "\r\n";
  return head;
}

HttpReply error_reply(int status, std::string reason, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = std::move(body);
  return reply;
}

void send_reply(int fd, const HttpReply& reply, int wake_fd) {
  std::string message = build_head(reply);
  const std::size_t body_start = message.size();
  message += reply.body;
  const std::size_t body_end =
      body_start + std::min(message.size() - body_start, reply.close_after_body_bytes);
  const std::string_view bytes = std::string_view(message).substr(0, body_end);
  if (reply.stall_after_body_bytes == SIZE_MAX) {
    if (pause(wake_fd, reply.stall_before_reply)) send_all(fd, bytes, wake_fd);
    return;
  }
  const std::size_t split =
      body_start + std::min(body_end - body_start, reply.stall_after_body_bytes);
  if (send_all(fd, bytes.substr(0, split), wake_fd) && pause(wake_fd, reply.stall_before_reply)) {
    send_all(fd, bytes.substr(split), wake_fd);
  }
}

// Ends our side, then reads until the client closes (or briefly times out), so that unread request
// bytes do not make the close a reset that destroys the reply in flight.
// Reads and drops whatever the client sends until it closes, the deadline passes or the server
// stops.
void drain(int fd, int wake_fd, const Deadline& deadline) {
  char chunk[4096];
  while (wait_ready(fd, POLLIN, wake_fd, deadline)) {
    const ssize_t got = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return;
  }
}

void linger_close_write(int fd, int wake_fd) {
  shutdown(fd, SHUT_WR);
  drain(fd, wake_fd, Clock::now() + kLingerTime);
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

int bound_port(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equals_ignoring_case(key, name)) return value;
  }
  return {};
}

std::size_t HttpRequest::header_count(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(), [&](const auto& h) {
    return equals_ignoring_case(h.first, name);
  }));
}

std::string HttpRequest::url() const {
  return target.starts_with("http://") ? target : "http://" + header("Host") + target;
}

FixtureServer::FixtureServer(Handler handler) : handler_(std::move(handler)) {
  try {
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) throw_errno("pipe2");
    wake_read_fd_ = pipe_fds[0];
    wake_write_fd_ = pipe_fds[1];
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) throw_errno("socket");
    const sockaddr_in address = loopback(0);
    if (bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      throw_errno("bind 127.0.0.1:0");
    }
    if (listen(listen_fd_, 128) != 0) throw_errno("listen");
    port_ = bound_port(listen_fd_);
    if (port_ <= 0) throw_errno("getsockname");
    acceptor_ = std::thread(&FixtureServer::accept_loop, this);
  } catch (...) {
    for (int fd : {listen_fd_, wake_read_fd_, wake_write_fd_}) {
      if (fd >= 0) close(fd);
    }
    throw;
  }
}

FixtureServer::~FixtureServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(wake_write_fd_, &byte, 1);
  slot_freed_.notify_all();
  shutdown(listen_fd_, SHUT_RDWR);
  acceptor_.join();

  std::list<Connection> remaining;
  {
    std::lock_guard lock(mutex_);
    for (const Connection& connection : connections_) {
      if (connection.fd >= 0) shutdown(connection.fd, SHUT_RDWR);
    }
    remaining.splice(remaining.end(), connections_);
  }
  for (Connection& connection : remaining) connection.thread.join();
  close(listen_fd_);
  close(wake_read_fd_);
  close(wake_write_fd_);
}

std::string FixtureServer::base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string FixtureServer::route() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<HttpRequest> FixtureServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t FixtureServer::request_count() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

void FixtureServer::set_handler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::size_t FixtureServer::active_connections() const {
  return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(),
                                                [](const Connection& c) { return !c.done; }));
}

void FixtureServer::join_finished(std::unique_lock<std::mutex>& lock) {
  std::list<Connection> finished;
  for (auto it = connections_.begin(); it != connections_.end();) {
    const auto next = std::next(it);
    if (it->done) finished.splice(finished.end(), connections_, it);
    it = next;
  }
  if (finished.empty()) return;
  lock.unlock();
  for (Connection& connection : finished) connection.thread.join();
  lock.lock();
}

void FixtureServer::accept_loop() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      join_finished(lock);
      slot_freed_.wait(lock, [&] { return stopping_ || active_connections() < kMaxConnections; });
      if (stopping_) return;
    }
    if (!wait_ready(listen_fd_, POLLIN, wake_read_fd_, std::nullopt)) return;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or memory, or the listening socket broke: retry after a breath rather
      // than spin. A client that gave up before we accepted it needs no delay.
      if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED &&
          !pause(wake_read_fd_, kAcceptRetryDelay)) {
        return;
      }
      continue;
    }
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(fd);
      return;
    }
    Connection& connection = connections_.emplace_back();
    connection.fd = fd;
    connection.number = ++accepted_;
    try {
      connection.thread = std::thread(&FixtureServer::serve, this, &connection, fd);
    } catch (const std::system_error&) {
      connections_.pop_back();
      close(fd);
    }
  }
}

void FixtureServer::serve(Connection* connection, int fd) {
  // A reply that keeps the connection open serves the next request that comes over it.
  for (bool more = true; more;) {
    more = false;
    std::string head;
    switch (read_head(fd, wake_read_fd_, head)) {
      case HeadResult::kGone:
        break;
      case HeadResult::kTooLarge:
        send_reply(fd,
                   error_reply(431, "Request Header Fields Too Large", "request head too large\n"),
                   wake_read_fd_);
        linger_close_write(fd, wake_read_fd_);
        break;
      case HeadResult::kComplete: {
        HttpRequest request = parse_head(std::move(head));
        request.connection = connection->number;
        Handler handler;
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(request);
          handler = handler_;
        }
        HttpReply reply;
        try {
          if (!handler) throw std::logic_error("FixtureServer has no handler");
          reply = handler(request);
        } catch (const std::exception& error) {
          reply = error_reply(500, "Internal Server Error", error.what());
        } catch (...) {
          reply = error_reply(500, "Internal Server Error", "handler threw");
        }
        send_reply(fd, reply, wake_read_fd_);
        if (reply.keep_open) {
          more = true;
        } else {
          linger_close_write(fd, wake_read_fd_);
        }
        break;
      }
    }
  }
  finish(connection);
}

void FixtureServer::finish(Connection* connection) {
  std::lock_guard lock(mutex_);
  close(connection->fd);
  connection->fd = -1;
  connection->done = true;
  slot_freed_.notify_all();
}

int refused_port() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw_errno("socket");
  const sockaddr_in address = loopback(0);
  const int port = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                       ? bound_port(fd)
                       : -1;
  const int saved_errno = errno;
  close(fd);
  if (port <= 0) {
    errno = saved_errno;
    throw_errno("bind 127.0.0.1:0");
  }
  return port;
}

}  // namespace quillrank::testing
