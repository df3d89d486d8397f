// A benchmark-only HTTPS/1.1 server on 127.0.0.1 with a certificate made at start (self-signed,
// for one host name, trusted through the fetcher's CA-file option only): answers every request
// with one body and keeps each connection open unless the request asks to close it.
#pragma once

#include <list>
#include <mutex>
#include <string>
#include <thread>

typedef struct ssl_ctx_st SSL_CTX;

namespace quillrank::bench {

class TlsServer {
 public:
  TlsServer(std::string host, std::string body);  // throws std::runtime_error
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  std::string route() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& ca_file() const { return ca_file_; }  // the certificate, PEM
  int handshakes() const;                                  // TLS connections accepted so far

 private:
  void accept_loop();
  void serve(int fd);

  std::string body_;
  std::string ca_file_;
  SSL_CTX* context_ = nullptr;
  int listen_fd_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  bool stopping_ = false;
  int handshakes_ = 0;
  std::list<int> open_fds_;
  std::list<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace quillrank::bench
