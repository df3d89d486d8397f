// Tests of the fixture server, spoken to over a raw socket so that they do not depend on the
// HTTP client the server is there to test.
#include "support/fixture_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <memory>

namespace quillrank::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 10s;  // how long anything that should happen may take, generously

// A blocking client connection to 127.0.0.1 whose reads give up after kPatience.
class Client {
 public:
  explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    const timeval patience{std::chrono::seconds(kPatience).count(), 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) error_ = errno;
  }
  ~Client() { close(fd_); }

  int connect_error() const { return error_; }

  void write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      ASSERT_GT(sent, 0) << "send failed, errno " << errno;
      bytes.remove_prefix(static_cast<size_t>(sent));
    }
  }

  // Reads until `size` bytes have arrived in all, the server closes, or patience runs out.
  std::string read(size_t size = SIZE_MAX) {
    char chunk[65536];
    while (received_.size() < size) {
      const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
      if (got <= 0) break;
      received_.append(chunk, static_cast<size_t>(got));
    }
    return received_;
  }

 private:
  int fd_;
  int error_ = 0;
  std::string received_;
};

std::string fetch(int port, std::string_view request) {
  Client client(port);
  client.write(request);
  return client.read();
}

std::string head_of(const std::string& reply) {
  return reply.substr(0, reply.find("\r\n\r\n") + 4);
}
std::string body_of(const std::string& reply) { return reply.substr(reply.find("\r\n\r\n") + 4); }

// Waits until `condition()` holds or patience runs out; returns whether it holds.
template <typename Condition>
bool eventually(Condition condition) {
  const auto give_up = std::chrono::steady_clock::now() + kPatience;
  while (!condition() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
  return condition();
}

HttpReply reply_with(std::string body) {
  HttpReply reply;
  reply.body = std::move(body);
  return reply;
}

TEST(FixtureServer, RecordsRequestHead) {
  FixtureServer server(
      [](const HttpRequest& request) { return reply_with("saw " + request.target); });
  const std::string head =
      "GET http://example.test/a?b=1 HTTP/1.0\r\nHost: example.test\r\n"
      "X-Twice:  first \r\nx-twice: second\r\n\r\n";
  Client client(server.port());
  client.write(head.substr(0, 20));  // in pieces, the blank line split between two of them
  client.write(head.substr(20, head.size() - 22));
  client.write(head.substr(head.size() - 2));
  const std::string reply = client.read();

  EXPECT_EQ(head_of(reply), "HTTP/1.0 200 OK\r\nContent-Length: 29\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(body_of(reply), "saw http://example.test/a?b=1");
  ASSERT_EQ(server.request_count(), 1u);
  const HttpRequest request = server.requests()[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "http://example.test/a?b=1");
  EXPECT_EQ(request.version, "HTTP/1.0");
  EXPECT_EQ(request.raw_head, head);
  using Header = std::pair<std::string, std::string>;
  EXPECT_EQ(
      request.headers,
      (std::vector<Header>{{"Host", "example.test"}, {"X-Twice", "first"}, {"x-twice", "second"}}));
  EXPECT_EQ(request.header("x-TWICE"), "first");
  EXPECT_EQ(request.header_count("X-TWICE"), 2u);
  EXPECT_EQ(request.header("Accept"), "");
}

TEST(FixtureServer, SendsAnnouncedLengthAndExtraHeadersAsGiven) {
  HttpReply reply = reply_with("abc");
  reply.status = 302;
  reply.reason = "Found";
  reply.content_length = 100;
  reply.headers = {{"Location", "/next"}};
  FixtureServer server([reply](const HttpRequest&) { return reply; });
  EXPECT_EQ(fetch(server.port(), "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 302 Found\r\nContent-Length: 100\r\nConnection: close\r\n"
            "Location: /next\r\n\r\nabc");

  reply.omit_content_length = true;
  server.set_handler([reply](const HttpRequest&) { return reply; });
  EXPECT_EQ(head_of(fetch(server.port(), "GET / HTTP/1.0\r\n\r\n")).find("Content-Length"),
            std::string::npos);
}

TEST(FixtureServer, CloseAfterBodyBytesTruncatesBody) {
  FixtureServer server([](const HttpRequest&) {
    HttpReply reply = reply_with("0123456789");
    reply.close_after_body_bytes = 4;
    return reply;
  });
  const std::string reply = fetch(server.port(), "GET / HTTP/1.0\r\n\r\n");
  EXPECT_NE(head_of(reply).find("Content-Length: 10\r\n"), std::string::npos);
  EXPECT_EQ(body_of(reply), "0123");
}

TEST(FixtureServer, DestructorWakesReplyStalledBeforeSending) {
  auto server = std::make_unique<FixtureServer>([](const HttpRequest&) {
    HttpReply reply = reply_with("late");
    reply.stall_before_reply = 60s;
    return reply;
  });
  Client client(server->port());
  client.write("GET / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(eventually([&] { return server->request_count() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(client.read(), "");
}

TEST(FixtureServer, StallsMidBodyUntilDestroyed) {
  auto server = std::make_unique<FixtureServer>([](const HttpRequest&) {
    HttpReply reply = reply_with("abcdef");
    reply.stall_after_body_bytes = 3;
    reply.stall_before_reply = 60s;
    return reply;
  });
  Client client(server->port());
  client.write("GET / HTTP/1.0\r\n\r\n");
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(client.read(head.size() + 3), head + "abc");
  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(client.read(), head + "abc");  // the rest never comes; the connection just ends
}

TEST(FixtureServer, AnswersConcurrentClients) {
  constexpr size_t kClients = 8;
  std::mutex mutex;
  std::condition_variable all_arrived;
  size_t arrived = 0;
  // Each reply waits for every request to arrive, so a server that serves one at a time fails.
  FixtureServer server([&](const HttpRequest& request) {
    std::unique_lock lock(mutex);
    ++arrived;
    all_arrived.notify_all();
    const bool together =
        all_arrived.wait_for(lock, kPatience, [&] { return arrived == kClients; });
    return reply_with((together ? "together " : "alone ") + request.target);
  });
  std::vector<std::string> replies(kClients);
  std::vector<std::thread> clients;
  for (size_t i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      replies[i] = fetch(server.port(), "GET /" + std::to_string(i) + " HTTP/1.0\r\n\r\n");
    });
  }
  for (std::thread& client : clients) client.join();
  for (size_t i = 0; i < kClients; ++i) {
    EXPECT_EQ(body_of(replies[i]), "together /" + std::to_string(i));
  }
  EXPECT_EQ(server.request_count(), kClients);
}

TEST(FixtureServer, SurvivesClientsThatLeaveEarly) {
  std::promise<void> client_gone;
  // The big reply starts only after its client has closed, so that writing it fails with EPIPE,
  // which raises SIGPIPE unless the server suppresses it.
  FixtureServer server([gone = client_gone.get_future().share()](const HttpRequest& request) {
    if (request.target != "/big") return reply_with("fine");
    gone.wait_for(kPatience);
    return reply_with(std::string(16 << 20, 'x'));
  });
  { Client silent(server.port()); }
  {
    Client half(server.port());
    half.write("GET /half HTTP/1.0\r\nHost: a");
  }
  {
    Client impatient(server.port());
    impatient.write("GET /big HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(eventually([&] { return server.request_count() == 1; }));
  }
  client_gone.set_value();
  EXPECT_EQ(body_of(fetch(server.port(), "GET /after HTTP/1.0\r\n\r\n")), "fine");
  ASSERT_EQ(server.request_count(), 2u);  // incomplete heads are not requests
  EXPECT_EQ(server.requests()[1].target, "/after");
}

TEST(FixtureServer, RefusedPortRefuses) {
  Client client(refused_port());
  EXPECT_EQ(client.connect_error(), ECONNREFUSED);
}

}  // namespace
}  // namespace quillrank::testing
