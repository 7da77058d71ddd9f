// The service's HTTP server against dropped, slow, crowding, forging and log-injecting callers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "http/server.h"
#include "protocol/reply_parse.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using namespace std::chrono_literals;

// A socket from `source` (any 127.x.y.z) to the server, reads bounded by `wait`.
int Connect(std::uint16_t port, const char* source = "127.0.0.1", timeval wait = {5, 0}) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in from{AF_INET, 0, {}, {}}, to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  ::inet_pton(AF_INET, source, &from.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  return fd;
}

std::string Exchange(std::uint16_t port, std::string_view bytes, const char* source = "127.0.0.1") {
  const int fd = Connect(port, source);
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string reply;
  char buffer[4096];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, size_t(n));
  ::close(fd);
  return reply;
}

std::string Get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "Connection: close\r\n\r\n";
}
int StatusOf(const std::string& reply) { return reply.size() > 12 ? std::atoi(&reply[9]) : 0; }

const std::string kGetIp = "/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&";
std::string Pieces(int count) {  // a GETIP with `count` query pieces
  std::string query = kGetIp;
  for (int i = 3; i < count; ++i) query += "p" + std::to_string(i) + "=" + std::to_string(i) + "&";
  return query;
}

struct Running {
  explicit Running(ServerOptions options)
      : server(database, options, [this](const std::string& line) {
          std::lock_guard lock(mutex);
          log.push_back(line);
        }) {}
  testing::TempDir dir;
  Database database{dir / "service.db"};
  std::mutex mutex;
  std::vector<std::string> log;
  Server server;
};

// Every refusal carries a status; request text is logged with its control characters escaped.
TEST(HttpHardening, RefusesWithAStatusAndLeaksNothing) {
  Running running({.trustForwardedFor = true, .protocol = {}});
  const std::string start = "/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&";
  // clang-format off
  const struct { std::string bytes; int status; std::string caller; } cases[] = {
      {Get(Pieces(32)), 200, "127.0.0.1"},
      {Get(Pieces(33)), 414, ""},
      {Get(Pieces(700)), 414, ""},  // the library runs out of memory for them and drops it
      {"GET\r\nHost: x\r\n\r\n", 400, ""},
      {"\x16\x03\x01\x02\x01\xFC\x03\x03\r\n\r\n", 400, ""},
      {Get(kGetIp, "X-Forwarded-For: 198.51.100.1\r\nX-Forwarded-For: 203.0.113.7\r\n"), 200, "203.0.113.7"},
      {Get(kGetIp, "X-Forwarded-For: 203.0.113.9, 1.2.3.4.5\r\n"), 400, ""},
      {Get(kGetIp, "X-Forwarded-For: \r\n"), 400, ""},
      {Get(kGetIp, "X-Forwarded-For: 10.0.0.1, 198.51.100.1 ,\t0.0.0.0 \r\n"), 200, "0.0.0.0"},
      {Get(kGetIp, "X-Forwarded-For: 01.2.3.4\r\n"), 400, ""},
      {Get(kGetIp, "X-Forwarded-For: ::1\r\n"), 400, ""},
      {Get(start + "DomainList=a\x1B[2J\x7F.e|00,\x01|,"), 200, ""}};
  // clang-format on
  for (const auto& c : cases) {
    const std::string reply = Exchange(running.server.port(), c.bytes);
    const char* reason = c.status == 200 ? "OK" : c.status == 414 ? "URI Too Long" : "Bad Request";
    EXPECT_EQ(reply.substr(0, reply.find('\r')),
              "HTTP/1.1 " + std::to_string(c.status) + " " + reason)
        << c.bytes.substr(0, 40) << " got " << reply;
    EXPECT_EQ(ReplyHeader(reply, "Y-IP"), c.caller) << c.bytes.substr(0, 40);
  }
  // Dropped requests kept their state for ever: hundreds of them must leave the heap as it was
  // (and the sanitizer build's leak checker sees every byte).
  const auto heap = [] { return ::mallinfo2().uordblks + ::mallinfo2().hblkhd; };
  const std::size_t before = heap();
  for (int i = 0; i < 200; ++i) Exchange(running.server.port(), Get(Pieces(700)));
  EXPECT_LT(heap(), before + 512 * 1024);
  std::lock_guard lock(running.mutex);
  const auto count = [&](const std::string& line) { return std::ranges::count(running.log, line); };
  EXPECT_EQ(count("START caller=127.0.0.1 mx=False a\\x1B[2J\\x7F.e=404 \\x01=404 ret=200"), 1);
  EXPECT_EQ(count("bad forwarded address caller=127.0.0.1 status=400"), 4);
  EXPECT_GE(count("too many arguments caller=127.0.0.1 status=414"), 200);
}

// Updates waiting for a database that another process holds keep no one else waiting: GETIP is
// answered meanwhile, and the updates get a server error after the busy time.
TEST(HttpHardening, InformationIsAnsweredWhileUpdatesWait) {
  Running running({});
  sqlite3* other = nullptr;
  sqlite3_open((running.dir / "service.db").c_str(), &other);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::atomic<int> updated = 0;
  std::vector<std::thread> updates;
  for (int i = 0; i < 3; ++i) {
    updates.emplace_back([&] {
      const std::string reply = Exchange(
          running.server.port(), Get("/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX="
                                     "False&DomainList=a.example.com|x,"));
      EXPECT_NE(reply.find("RET-CODE: 500"), std::string::npos) << reply;
      ++updated;
    });
  }
  std::this_thread::sleep_for(100ms);  // the updates have arrived and wait
  EXPECT_EQ(StatusOf(Exchange(running.server.port(), Get(kGetIp))), 200);
  EXPECT_EQ(updated, 0);
  for (std::thread& update : updates) update.join();
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
}

// A lost database is a server error for the records page too, never an exception into the
// library (which would end the service).
TEST(HttpHardening, RecordsOfALostDatabaseAreAServerError) {
  Running running({});
  std::filesystem::remove(running.dir / "service.db");
  EXPECT_EQ(StatusOf(Exchange(running.server.port(), Get("/records"))), 500);
}

// A drip of bytes, each within the idle time-out, is cut at the request's deadline with 408.
TEST(HttpHardening, EndsARequestThatOutlivesItsDeadline) {
  Running running({.readTimeoutSeconds = 2, .requestDeadline = 400ms, .protocol = {}});
  const int fd = Connect(running.server.port(), "127.0.0.1", {0, 150000});
  std::string reply;
  char buffer[512];
  ssize_t n = -1;
  ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
  for (int round = 0; round < 20 && n != 0; ++round) {  // without a deadline: 3 s of drip
    ::send(fd, "X", 1, MSG_NOSIGNAL);
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, size_t(n));
  }
  ::close(fd);
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 408 Request Timeout\r\n")) << reply;
  std::lock_guard lock(running.mutex);
  EXPECT_EQ(running.log, std::vector<std::string>{"refused caller=127.0.0.1 status=408"});
}

// 300 held connections from one address take only its share; another address is still served.
TEST(HttpHardening, LimitsConnectionsPerAddress) {
  Running running({.connectionsPerAddress = 4, .protocol = {}});
  const std::uint16_t port = running.server.port();
  std::vector<int> held;
  for (int i = 0; i < 300; ++i) {
    held.push_back(Connect(port));
    ::send(held.back(), "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
  }
  EXPECT_EQ(ReplyHeader(Exchange(port, Get(kGetIp), "127.0.0.2"), "Y-IP"), "127.0.0.2");
  // Bounded retries: the server takes its share of the held connections in its own time.
  const auto settle = [&](bool refused) {
    std::string reply = Exchange(port, Get(kGetIp));
    for (int i = 0; i < 50 && reply.empty() != refused; ++i, std::this_thread::sleep_for(20ms))
      reply = Exchange(port, Get(kGetIp));
    return reply;
  };
  EXPECT_EQ(settle(true), "");
  for (const int fd : held) ::close(fd);
  EXPECT_EQ(ReplyHeader(settle(false), "Y-IP"), "127.0.0.1");
}

}  // namespace
}  // namespace quorvix::service
