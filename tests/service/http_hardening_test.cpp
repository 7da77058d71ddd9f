// The service's HTTP server against hostile callers: refusals that used to close the connection
// without a status (and leak), slow and crowding clients, forged caller addresses, log injection.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "http/caller.h"
#include "http/server.h"
#include "protocol/reply_parse.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using namespace std::chrono_literals;

// A connected socket from `source` (any 127.x.y.z) to the server, reads bounded by 5 s.
int Connect(std::uint16_t port, const char* source = "127.0.0.1") {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in from{AF_INET, 0, {}, {}};
  ::inet_pton(AF_INET, source, &from.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
  sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  return fd;
}

// Everything until the server closes (or 5 s pass).
std::string ReadAll(int fd) {
  std::string reply;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, std::size_t(n));
  ::close(fd);
  return reply;
}

std::string Exchange(std::uint16_t port, std::string_view bytes, const char* source = "127.0.0.1") {
  const int fd = Connect(port, source);
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return ReadAll(fd);
}

std::string Get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: ip.quorvix.com\r\n" + headers +
         "Connection: close\r\n\r\n";
}
int StatusOf(const std::string& reply) { return reply.size() > 12 ? std::atoi(&reply[9]) : 0; }

const std::string kGetIp = "/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&";

std::string Pieces(int count) {
  std::string query = kGetIp;
  for (int i = 3; i < count; ++i) query += "p" + std::to_string(i) + "=" + std::to_string(i) + "&";
  return query;
}

TEST(ForwardedAddress, TakesOnlyAWellFormedLastEntry) {
  const struct {
    const char* header;
    std::optional<std::string> address;
  } cases[] = {
      {"203.0.113.9", "203.0.113.9"},   {"10.0.0.1, 198.51.100.1 ,\t203.0.113.9 ", "203.0.113.9"},
      {"0.0.0.0", "0.0.0.0"},           {"203.0.113.9, evil", std::nullopt},
      {"203.0.113.9,", std::nullopt},   {"", std::nullopt},
      {"1.2.3", std::nullopt},          {"1.2.3.4.5", std::nullopt},
      {"256.1.1.1", std::nullopt},      {"01.2.3.4", std::nullopt},
      {"1.2.3.4x", std::nullopt},       {"1.2.3.4 5.6.7.8", std::nullopt},
      {"1.2.3.4/24", std::nullopt},     {"::1", std::nullopt},
      {"2001:db8::1", std::nullopt},    {"123.123.123.1234", std::nullopt},
      {"1.2.3.4\x1B[2J", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ForwardedAddress(c.header), c.address) << c.header;
}

// The heap in use: a request must leave none of it behind.
std::size_t HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Every refusal carries a status and is logged with its control characters escaped.
TEST(HttpHardening, RefusesWithAStatusAndLeaksNothing) {
  testing::TempDir dir;
  Database database(dir / "service.db");
  std::mutex mutex;
  std::vector<std::string> log;
  ServerOptions options;
  options.trustForwardedFor = true;
  Server server(database, options, [&](const std::string& line) {
    std::lock_guard lock(mutex);
    log.push_back(line);
  });
  const std::string start = "/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&";
  // clang-format off
  const struct { std::string bytes; int status; std::string caller; } cases[] = {
      {Get(Pieces(32)), 200, "127.0.0.1"},
      {Get(Pieces(33)), 414, ""},    // answered by the server
      {Get(Pieces(700)), 414, ""},   // dropped by the library while parsing
      {Get("/x?" + std::string(3000, '&')), 414, ""},
      {"GET\r\nHost: x\r\n\r\n", 400, ""},
      {"\x16\x03\x01\x02\x01\xFC\x03\x03\r\n\r\n", 400, ""},
      {Get(kGetIp, "X-Forwarded-For: 203.0.113.9\r\n"), 200, "203.0.113.9"},
      {Get(kGetIp, "X-Forwarded-For: 198.51.100.1\r\nX-Forwarded-For: 203.0.113.7\r\n"), 200, "203.0.113.7"},
      {Get(kGetIp, "X-Forwarded-For: 203.0.113.9, 1.2.3.4.5\r\n"), 400, ""},
      {Get(kGetIp, "X-Forwarded-For: \r\n"), 400, ""},
      {Get(start + "DomainList=a\x1B[2J\x7F.example.com|00,\x01|,"), 200, ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    const std::string reply = Exchange(server.port(), c.bytes);
    EXPECT_EQ(StatusOf(reply), c.status) << c.bytes.substr(0, 40) << " got " << reply;
    EXPECT_EQ(ReplyHeader(reply, "Y-IP"), c.caller) << c.bytes.substr(0, 40);
  }
  // Requests the library drops kept their state for ever before: a few hundred of them must
  // leave the heap as it was (the leak checker of the sanitizer build sees each byte).
  const std::size_t before = HeapInUse();
  for (int i = 0; i < 200; ++i) Exchange(server.port(), Get(Pieces(700)));
  EXPECT_LT(HeapInUse(), before + 512 * 1024);
  std::lock_guard lock(mutex);
  bool escaped = false;
  for (const std::string& line : log) {
    EXPECT_EQ(std::ranges::count_if(line, [](unsigned char c) { return c < 0x20 || c == 0x7F; }), 0)
        << line;
    escaped = escaped || line.find("a\\x1B[2J\\x7F.example.com=404") != std::string::npos;
  }
  EXPECT_TRUE(escaped);
  EXPECT_EQ(std::ranges::count(log, "bad forwarded address caller=127.0.0.1 status=400"), 2);
  EXPECT_GE(std::ranges::count(log, "too many arguments caller=127.0.0.1 status=414"), 200);
}

// A drip of bytes, each within the idle time-out, is cut at the request's deadline.
TEST(HttpHardening, EndsARequestThatOutlivesItsDeadline) {
  testing::TempDir dir;
  Database database(dir / "service.db");
  ServerOptions options;
  options.readTimeoutSeconds = 2;
  options.requestDeadline = 400ms;
  Server server(database, options, [](const std::string&) {});
  const int fd = Connect(server.port());
  const timeval poll{0, 150000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &poll, sizeof poll);
  std::string reply = "GET / HTTP/1.1\r\n";
  ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  reply.clear();
  char buffer[512];
  ssize_t n = -1;
  // Without the deadline the drip would go on for all 20 rounds.
  for (int round = 0; round < 20 && n != 0; ++round) {
    ::send(fd, "X", 1, MSG_NOSIGNAL);
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, std::size_t(n));
  }
  ::close(fd);
  EXPECT_EQ(n, 0) << "still open";
  EXPECT_EQ(StatusOf(reply), 408) << reply;
}

// 300 held connections from one address take only its share; another address is still served.
TEST(HttpHardening, LimitsConnectionsPerAddress) {
  testing::TempDir dir;
  Database database(dir / "service.db");
  ServerOptions options;
  options.connectionsPerAddress = 4;
  Server server(database, options, [](const std::string&) {});
  std::vector<int> held;
  for (int i = 0; i < 300; ++i) {
    held.push_back(Connect(server.port()));
    ::send(held.back(), "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
  }
  EXPECT_EQ(ReplyHeader(Exchange(server.port(), Get(kGetIp), "127.0.0.2"), "Y-IP"), "127.0.0.2");
  // Refused from the crowded address as soon as the server has taken its share.
  std::string reply = "not tried";
  for (int attempt = 0; attempt < 50 && !reply.empty(); ++attempt) {
    reply = Exchange(server.port(), Get(kGetIp));
    if (!reply.empty()) std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(reply, "");
  for (const int fd : held) ::close(fd);
  for (int attempt = 0; attempt < 50 && reply.empty(); ++attempt) {
    reply = Exchange(server.port(), Get(kGetIp));
    if (reply.empty()) std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(ReplyHeader(reply, "Y-IP"), "127.0.0.1");
}

}  // namespace
}  // namespace quorvix::service
