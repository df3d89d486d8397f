// The SOCKS5 proxy's wire protocol (RFC 1928, RFC 1929) on blocking sockets, each wait also
// watching the stop pipe.
#include "support/socks5_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace quillrank::testing {
namespace {

[[noreturn]] void throw_errno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Waits for `fd` to be readable; false once the server stops.
bool readable(int fd, int wake_fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  while (poll(fds, 2, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return (fds[1].revents & POLLIN) == 0;
}

// `n` bytes from `fd`; empty when the peer closed early or the server stops.
std::string read_exact(int fd, int wake_fd, std::size_t n) {
  std::string bytes;
  while (bytes.size() < n) {
    if (!readable(fd, wake_fd)) return {};
    char chunk[512];
    const ssize_t got = recv(fd, chunk, std::min(sizeof chunk, n - bytes.size()), 0);
    if (got <= 0) return {};
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  return bytes;
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::string reply(unsigned char code) {
  return std::string{'\x05', static_cast<char>(code), '\0', '\x01', '\0', '\0', '\0', '\0', '\0',
                     '\0'};
}

// Copies bytes both ways until either side closes or the server stops.
void relay(int client, int target, int wake_fd) {
  pollfd fds[3] = {{client, POLLIN, 0}, {target, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[2].revents) return;
    for (int side = 0; side < 2; ++side) {
      if (!fds[side].revents) continue;
      char chunk[16384];
      const ssize_t got = recv(fds[side].fd, chunk, sizeof chunk, 0);
      if (got <= 0 || !send_all(fds[1 - side].fd, {chunk, static_cast<std::size_t>(got)})) return;
    }
  }
}

}  // namespace

Socks5Server::Socks5Server(int target_port, std::string user, std::string password)
    : target_port_(target_port), user_(std::move(user)), password_(std::move(password)) {
  int wake[2];
  if (pipe(wake) != 0) throw_errno("pipe");
  wake_read_fd_ = wake[0];
  wake_write_fd_ = wake[1];
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw_errno("socket");
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listen_fd_, 16) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw_errno("socks5 server on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

Socks5Server::~Socks5Server() {
  (void)!write(wake_write_fd_, "x", 1);
  acceptor_.join();
  for (std::thread& thread : threads_) thread.join();
  close(listen_fd_);
  close(wake_read_fd_);
  close(wake_write_fd_);
}

std::vector<SocksConnect> Socks5Server::connects() const {
  std::lock_guard lock(mutex_);
  return connects_;
}

void Socks5Server::accept_loop() {
  while (readable(listen_fd_, wake_read_fd_)) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) threads_.emplace_back([this, fd] { serve(fd); });
  }
}

// The greeting, the login when one is asked, and the CONNECT request: false when the client
// may not go on (it has been told why when the protocol has a word for it).
bool Socks5Server::handshake(int fd, SocksConnect& asked) {
  const std::string greeting = read_exact(fd, wake_read_fd_, 2);
  if (greeting.size() != 2 || greeting[0] != 5) return false;
  const std::string methods =
      read_exact(fd, wake_read_fd_, static_cast<unsigned char>(greeting[1]));
  const char wanted = user_.empty() ? '\0' : '\x02';
  if (methods.find(wanted) == std::string::npos) {
    send_all(fd, "\x05\xff");
    return false;
  }
  if (!send_all(fd, std::string{'\x05', wanted})) return false;
  if (!user_.empty()) {
    const std::string head = read_exact(fd, wake_read_fd_, 2);
    if (head.size() != 2 || head[0] != 1) return false;
    asked.user = read_exact(fd, wake_read_fd_, static_cast<unsigned char>(head[1]));
    const std::string length = read_exact(fd, wake_read_fd_, 1);
    if (length.empty()) return false;
    asked.password = read_exact(fd, wake_read_fd_, static_cast<unsigned char>(length[0]));
    const bool accepted = asked.user == user_ && asked.password == password_;
    if (!send_all(fd, accepted ? std::string{'\x01', '\0'} : "\x01\x01") || !accepted) {
      return false;
    }
  }
  const std::string request = read_exact(fd, wake_read_fd_, 4);
  if (request.size() != 4 || request[0] != 5) return false;
  if (request[1] != 1) {
    send_all(fd, reply(7));  // command not supported
    return false;
  }
  if (request[3] == 1 || request[3] == 4) {
    const bool v4 = request[3] == 1;
    const std::string bytes = read_exact(fd, wake_read_fd_, v4 ? 4 : 16);
    char text[INET6_ADDRSTRLEN] = {};
    if (bytes.empty() || !inet_ntop(v4 ? AF_INET : AF_INET6, bytes.data(), text, sizeof text)) {
      return false;
    }
    asked.host = text;
  } else if (request[3] == 3) {
    const std::string length = read_exact(fd, wake_read_fd_, 1);
    if (length.empty()) return false;
    asked.host = read_exact(fd, wake_read_fd_, static_cast<unsigned char>(length[0]));
    asked.by_name = true;
  } else {
    send_all(fd, reply(8));  // address type not supported
    return false;
  }
  const std::string port = read_exact(fd, wake_read_fd_, 2);
  if (port.size() != 2) return false;
  asked.port = static_cast<unsigned char>(port[0]) * 256 + static_cast<unsigned char>(port[1]);
  std::lock_guard lock(mutex_);
  connects_.push_back(asked);
  return true;
}

void Socks5Server::serve(int fd) {
  SocksConnect asked;
  if (handshake(fd, asked)) {
    const int target = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(target_port_);
    if (target >= 0 &&
        connect(target, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      if (send_all(fd, reply(0))) relay(fd, target, wake_read_fd_);
    } else {
      send_all(fd, reply(5));  // connection refused
    }
    if (target >= 0) close(target);
  }
  close(fd);
}

}  // namespace quillrank::testing
