#include "tls_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace quillrank::bench {
namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("TlsServer: ") + what);
}

// A P-256 key and a certificate for `host`, signed by itself, valid for a day.
std::pair<EVP_PKEY*, X509*> self_signed(const std::string& host) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  check(key, "key");
  X509* cert = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -60);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* san =
      X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, ("DNS:" + host).c_str());
  check(san && X509_add_ext(cert, san, -1), "subjectAltName");
  X509_EXTENSION_free(san);
  check(X509_sign(cert, key, EVP_sha256()) > 0, "sign");
  return {key, cert};
}

}  // namespace

TlsServer::TlsServer(std::string host, std::string body) : body_(std::move(body)) {
  const auto [key, cert] = self_signed(host);
  ca_file_ = "/tmp/quillrank-bench-ca-" + std::to_string(getpid()) + ".pem";
  FILE* file = std::fopen(ca_file_.c_str(), "w");
  check(file && PEM_write_X509(file, cert), "write the certificate");
  std::fclose(file);
  context_ = SSL_CTX_new(TLS_server_method());
  check(context_ && SSL_CTX_use_certificate(context_, cert) == 1 &&
            SSL_CTX_use_PrivateKey(context_, key) == 1,
        "context");
  X509_free(cert);
  EVP_PKEY_free(key);

  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  check(listen_fd_ >= 0 && bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(listen_fd_, 64) == 0 &&
            getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0,
        "listen");
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread(&TlsServer::accept_loop, this);
}

TlsServer::~TlsServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : open_fds_) shutdown(fd, SHUT_RDWR);
  }
  shutdown(listen_fd_, SHUT_RDWR);
  acceptor_.join();
  for (std::thread& thread : threads_) thread.join();
  close(listen_fd_);
  SSL_CTX_free(context_);
  std::remove(ca_file_.c_str());
}

int TlsServer::handshakes() const {
  std::lock_guard lock(mutex_);
  return handshakes_;
}

void TlsServer::accept_loop() {
  for (;;) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (fd < 0 || stopping_) {
      if (fd >= 0) close(fd);
      return;
    }
    // Each reply goes out at once, not after the client's delayed acknowledgement.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    open_fds_.push_back(fd);
    threads_.emplace_back(&TlsServer::serve, this, fd);
  }
}

void TlsServer::serve(int fd) {
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    {
      std::lock_guard lock(mutex_);
      ++handshakes_;
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(body_.size()) + "\r\n";
    std::string request;
    char chunk[4096];
    for (;;) {
      const int got = SSL_read(ssl, chunk, sizeof chunk);
      if (got <= 0) break;
      request.append(chunk, static_cast<std::size_t>(got));
      const std::size_t end = request.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      const bool close_after =
          request.substr(0, end).find("Connection: close") != std::string::npos;
      const std::string reply = head +
                                (close_after ? "Connection: close" : "Connection: keep-alive") +
                                "\r\n\r\n" + body_;
      if (SSL_write(ssl, reply.data(), static_cast<int>(reply.size())) <= 0 || close_after) break;
      request.erase(0, end + 4);
    }
    SSL_shutdown(ssl);
  }
  SSL_free(ssl);
  std::lock_guard lock(mutex_);
  open_fds_.remove(fd);
  close(fd);
}

}  // namespace quillrank::bench
