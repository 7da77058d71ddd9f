// The service on loopback, talked to by the client's own command runner and by raw sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "http/server.h"
#include "protocol/reply_parse.h"
#include "store/database.h"
#include "support/client_fixture.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using namespace std::chrono_literals;
using quorvix::testing::ClientFixture;
using Lines = std::vector<std::string>;

constexpr std::string_view kDemoPassword = "Sesame-42";
// printf '%s' 'demo.example.comSesame-42TQ59WM37hd' | md5sum, upper-cased.
constexpr std::string_view kDemoSig = "9747E97A781CE3300B351FE8E5196211";
const std::string kGetIp = "/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&";
const std::string kStartList =
    "/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&DomainList=";
const std::string kStart = kStartList + "demo.example.com|" + std::string(kDemoSig) + ",";

// A loopback connection whose reads and writes wait at most 5 s.
class Connection {
 public:
  explicit Connection(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const timeval limit{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const sockaddr_in address{.sin_family = AF_INET,
                              .sin_port = htons(port),
                              .sin_addr = {htonl(INADDR_LOOPBACK)},
                              .sin_zero = {}};
    EXPECT_EQ(::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ~Connection() { ::close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends the bytes (a blocking send takes them all unless the server resets), then with
  // `hangUp` stops sending.
  void Send(std::string_view bytes, bool hangUp = false) {
    ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (hangUp) ::shutdown(fd_, SHUT_WR);
  }

  // Everything until the server closes (an orderly end or a reset: `closed`) or the wait ends.
  std::string ReadAll(bool* closed = nullptr) {
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) {
      reply.append(buffer, static_cast<std::size_t>(n));
    }
    if (closed != nullptr) *closed = n == 0 || errno == ECONNRESET;
    return reply;
  }

 private:
  int fd_;
};

std::string Exchange(std::uint16_t port, std::string_view request) {
  Connection connection(port);
  connection.Send(request);
  return connection.ReadAll();
}

std::string Get(std::string_view target, std::string_view headers = "") {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: ip.quorvix.com\r\n" +
         std::string(headers) + "Connection: close\r\n\r\n";
}

// The status of "HTTP/1.x NNN ...", or 0.
int StatusOf(const std::string& reply) {
  return reply.starts_with("HTTP/1.") && reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

std::string Headers(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "X-Filler-" + std::to_string(i) + ": value\r\n";
  return lines;
}

// Records without their time stamps.
Lines Describe(const std::vector<Record>& records) {
  Lines lines;
  for (const Record& r : records) lines.push_back(r.domain + " " + r.address + (r.mx ? " mx" : ""));
  return lines;
}

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    options.threads = 2;
    options.readTimeoutSeconds = 1;
    options.protocol = {3, 7};
    Restart();
    database->AddAccount("demo.example.com", kDemoPassword);
  }

  // A new server on a new connection to the same database file.
  void Restart() {
    server.reset();
    database = std::make_unique<Database>(dir / "service.db");
    server = std::make_unique<Server>(*database, options, [this](const std::string& line) {
      std::lock_guard lock(logMutex);
      serverLog.push_back(line);
    });
  }

  std::uint16_t port() const { return server->port(); }

  // The server still serves: a GETIP gets its full answer.
  bool StillAnswers() { return ReplyHeader(Exchange(port(), Get(kGetIp)), "Y-IP") == "127.0.0.1"; }

  // The outcome lines the client logged for its domains.
  static Lines Outcomes(const ClientFixture& client) {
    Lines outcomes;
    for (const std::string& line : client.recorder.lines) {
      if (line.starts_with("域名")) outcomes.push_back(line);
    }
    return outcomes;
  }

  quorvix::testing::TempDir dir;
  ServerOptions options;
  std::unique_ptr<Database> database;
  std::unique_ptr<Server> server;
  std::mutex logMutex;
  Lines serverLog;
};

TEST_F(ServiceTest, ClientRunsAllFourCommandsAcrossARestart) {
  const std::int64_t before = std::time(nullptr);
  {
    ClientFixture client(port());
    client.StoreDomains("demo.example.com|Sesame-42,");
    client.state.glbMX = true;
    EXPECT_TRUE(client.runner.ExecuteCommand("GETIP"));
    EXPECT_EQ(client.state.publicIp, "127.0.0.1");
    EXPECT_TRUE(client.recorder.Has("获取本机公网IP成功,IP地址是:127.0.0.1"));
    EXPECT_TRUE(client.runner.ExecuteCommand("GETVER"));
    EXPECT_EQ(client.state.serverMajor, 3);
    EXPECT_EQ(client.state.serverMinor, 7);
    EXPECT_TRUE(client.runner.ExecuteCommand("START"));
    EXPECT_EQ(Outcomes(client), Lines{"域名demo.example.com动态解析成功"});
  }
  // The record and the account outlast the server.
  Restart();
  const std::vector<Record> records = database->Records();
  EXPECT_EQ(Describe(records), Lines{"demo.example.com 127.0.0.1 mx"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_GE(records[0].updated, before);
  EXPECT_LE(records[0].updated, std::time(nullptr));
  ClientFixture client(port());
  client.StoreDomains("demo.example.com|Sesame-42,");
  EXPECT_TRUE(client.runner.ExecuteCommand("STOP"));
  EXPECT_EQ(Outcomes(client), Lines{"域名demo.example.com停止解析成功"});
  EXPECT_TRUE(database->Records().empty());

  std::lock_guard lock(logMutex);
  EXPECT_EQ(serverLog.size(), 4u);
  for (const std::string& line : serverLog) {
    EXPECT_EQ(line.find(kDemoPassword), std::string::npos) << line;
    EXPECT_EQ(line.find(kDemoSig), std::string::npos) << line;
  }
}

TEST_F(ServiceTest, ExplanationsTravelInGbkAndFailuresKeepTheRecord) {
  database->SetRecord({"demo.example.com", "192.0.2.1", false, 1});
  ClientFixture client(port());
  client.StoreDomains("demo.example.com|sesame-42,nobody.example.org|Sesame-42,");
  EXPECT_TRUE(client.runner.ExecuteCommand("START"));
  EXPECT_TRUE(client.runner.ExecuteCommand("STOP"));
  EXPECT_EQ(Outcomes(client),
            (Lines{"域名demo.example.com动态解析失败,签名错误，请检查域名管理密码",
                   "域名nobody.example.org动态解析失败,域名不存在",
                   "域名demo.example.com停止解析失败,签名错误，请检查域名管理密码",
                   "域名nobody.example.org停止解析失败,域名不存在"}));
  EXPECT_EQ(Describe(database->Records()), Lines{"demo.example.com 192.0.2.1"});
  EXPECT_EQ(database->Records().at(0).updated, 1);
  // On the wire the explanations travel in code page 936: "域名不存在" in GBK.
  EXPECT_EQ(ReplyHeader(Exchange(port(), Get(kStartList + "nobody.example.org|X,")), "RET-DMLIST"),
            "nobody.example.org|404\xD3\xF2\xC3\xFB\xB2\xBB\xB4\xE6\xD4\xDA,");
}

TEST_F(ServiceTest, BadRequestsAndSilentClientsNeverStopTheServer) {
  // More silent connections than the server has threads.
  std::vector<std::unique_ptr<Connection>> silent;
  for (int i = 0; i < 6; ++i) silent.push_back(std::make_unique<Connection>(port()));
  std::string binary;
  for (unsigned i = 0, value = 12345; i < 3000; ++i) {
    value = value * 1103515245u + 12345u;
    binary.push_back(static_cast<char>(value >> 16));
  }
  const struct {
    std::string bytes;
    std::vector<int> statuses;  // what it may get (0: nothing); none listed: any error or nothing
    bool hangUp = false;
  } cases[] = {
      {"POST " + kStart +
           " HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello",
       {405}},
      {"DELETE /records HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", {405}},
      {Get("/index.html"), {404}},
      {Get("/quorvixDDNS_GETUserIp.asp?Command=GETIP"), {400}},
      {Get(kGetIp, Headers(100)), {431}},
      {Get(kGetIp, Headers(30)), {200}},  // proxies may add some
      // The server may close before it has read all: the kernel then resets the connection and
      // the refusal can be lost on the way.
      {Get(kGetIp + "pad=" + std::string(17 * 1024, 'a')), {414, 431, 0}},
      {binary, {}, true},
      {std::string("\0\0\r\n\r\n\0", 7), {}},
      {"GET / HTTP/1.1\r\nHost: x\r\nno colon here\r\n\r\n", {}},
      {"GET /quorvixDDNS_GETUserIp.asp?Comm", {}, true},
      {"GET / HTTP/1.1\r\nHost: x\r\n", {}},  // never ends: dropped when it falls silent
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 30));
    Connection connection(port());
    connection.Send(c.bytes, c.hangUp);
    bool closed = false;
    const std::string reply = connection.ReadAll(&closed);
    EXPECT_TRUE(closed) << "the server kept the connection";
    const int status = StatusOf(reply);
    EXPECT_TRUE(c.statuses.empty() ? reply.empty() || (status >= 400 && status < 600)
                                   : std::ranges::count(c.statuses, status) > 0)
        << reply.substr(0, 200);
    EXPECT_EQ(ReplyHeader(reply, "RET-CODE").empty(), status != 200) << reply.substr(0, 200);
    EXPECT_TRUE(StillAnswers());
  }
  EXPECT_TRUE(database->Records().empty());
  for (const auto& connection : silent) {
    bool closed = false;
    EXPECT_EQ(connection->ReadAll(&closed), "");
    EXPECT_TRUE(closed) << "a silent connection was kept open";
  }
}

TEST_F(ServiceTest, RecordsAsJson) {
  database->SetRecord({"demo.example.com", "203.0.113.7", true, 1700000000});
  database->SetRecord({"bad\xFF.example", "", false, 0});
  const std::string reply = Exchange(port(), Get("/records"));
  ASSERT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(ReplyHeader(reply, "Content-Type"), "application/json");
  EXPECT_EQ(reply.find(kDemoPassword), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(reply.substr(reply.find("\r\n\r\n") + 4)),
            nlohmann::json::parse(R"([
    {"domain": "bad\ufffd.example", "address": "", "mx": false, "updated": "1970-01-01T00:00:00Z"},
    {"domain": "demo.example.com", "address": "203.0.113.7", "mx": true,
     "updated": "2023-11-14T22:13:20Z"}])"));
}

TEST_F(ServiceTest, XForwardedForIsTrustedOnlyWhenAsked) {
  const struct {
    bool trust;
    const char* header;
    const char* caller;
  } cases[] = {
      {false, "X-Forwarded-For: 198.51.100.1\r\n", "127.0.0.1"},
      {true, "X-Forwarded-For: 198.51.100.1\r\n", "198.51.100.1"},
      // The proxy appends what it saw; earlier entries are the client's claims.
      {true, "X-Forwarded-For: 10.0.0.1, 198.51.100.1 , 203.0.113.9\r\n", "203.0.113.9"},
      {true, "", "127.0.0.1"},
  };
  for (const auto& c : cases) {
    options.trustForwardedFor = c.trust;
    Restart();
    EXPECT_EQ(ReplyHeader(Exchange(port(), Get(kGetIp, c.header)), "Y-IP"), c.caller) << c.header;
  }
}

}  // namespace
}  // namespace quorvix::service
