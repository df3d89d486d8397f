// A test-only SOCKS5 proxy on 127.0.0.1: CONNECT only, without authentication or with one
// user and password, every connection relayed to one target port on 127.0.0.1 whatever host
// it asks for (so a name sent for the proxy to resolve never leaves the machine). It records
// what each client asked.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillrank::testing {

struct SocksConnect {
  std::string user;      // as the client sent it; empty without authentication
  std::string password;  // as the client sent it
  std::string host;      // the address asked for: a name, or an IPv4 or IPv6 address as text
  bool by_name = false;  // the client left the name for the proxy to resolve
  int port = 0;
};

class Socks5Server {
 public:
  // Binds 127.0.0.1 on a free port and serves at once. With a user, clients must log in as
  // that user with that password; without one, they must ask for no authentication.
  // Throws std::system_error.
  explicit Socks5Server(int target_port, std::string user = {}, std::string password = {});
  // Stops every relay at once and joins its threads.
  ~Socks5Server();

  Socks5Server(const Socks5Server&) = delete;
  Socks5Server& operator=(const Socks5Server&) = delete;

  int port() const { return port_; }
  std::vector<SocksConnect> connects() const;  // every CONNECT asked so far, in order

 private:
  void accept_loop();
  void serve(int fd);
  bool handshake(int fd, SocksConnect& asked);

  int target_port_;
  std::string user_;
  std::string password_;
  int port_ = 0;
  int listen_fd_ = -1;
  int wake_read_fd_ = -1;  // readable once the server stops
  int wake_write_fd_ = -1;
  mutable std::mutex mutex_;
  std::vector<SocksConnect> connects_;
  std::vector<std::thread> threads_;  // the acceptor's; joined by the destructor
  std::thread acceptor_;
};

}  // namespace quillrank::testing
