// The service on loopback, talked to by the client's own command runner and by raw sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "http/server.h"
#include "store/database.h"
#include "support/client_fixture.h"
#include "support/temp_dir.h"

namespace quorvix::service {
namespace {

using namespace std::chrono_literals;
using quorvix::testing::ClientFixture;
using quorvix::testing::TempDir;

constexpr std::string_view kDemo = "demo.example.com";
constexpr std::string_view kDemoPassword = "Sesame-42";
// printf '%s' 'demo.example.comSesame-42TQ59WM37hd' | md5sum, upper-cased.
constexpr std::string_view kDemoSig = "9747E97A781CE3300B351FE8E5196211";

constexpr std::string_view kGetIp = "/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&";

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// ---------------------------------------------------------------------------------------------
// Raw HTTP over loopback

class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port, std::chrono::seconds wait = 5s) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{static_cast<time_t>(wait.count()), 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawConnection() { ::close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return connected_; }

  // Sends as much as the server takes; false when it stopped taking.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

  // Everything until the server closes, an error or the wait; `closed` tells whether the
  // server closed the connection (an orderly end or a reset), rather than the wait running out.
  std::string ReadAll(bool* closed = nullptr) {
    std::string reply;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        reply.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (closed != nullptr) *closed = n == 0 || errno == ECONNRESET;
      return reply;
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

std::string Exchange(std::uint16_t port, std::string_view request) {
  RawConnection connection(port);
  if (!connection.connected()) return {};
  connection.Send(request);
  return connection.ReadAll();
}

std::string Get(std::string_view target, std::string_view extraHeaders = "") {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: ip.quorvix.com\r\n" +
         std::string(extraHeaders) + "Connection: close\r\n\r\n";
}

// The status of "HTTP/1.x NNN ...", or 0.
int StatusOf(std::string_view reply) {
  if (reply.size() < 12 || reply.substr(0, 7) != "HTTP/1.") return 0;
  const std::string_view digits = reply.substr(9, 3);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::stoi(std::string(digits));
}

// A header's value (name compared without regard to case), or empty.
std::string HeaderOf(std::string_view reply, std::string_view name) {
  const std::string_view head = reply.substr(0, reply.find("\r\n\r\n"));
  std::size_t start = head.find("\r\n");
  while (start != std::string_view::npos) {
    start += 2;
    const std::size_t end = std::min(head.find("\r\n", start), head.size());
    const std::string_view line = head.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon == name.size() &&
        std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return std::string(value);
    }
    start = end < head.size() ? end : std::string_view::npos;
  }
  return {};
}

std::string BodyOf(std::string_view reply) {
  const std::size_t end = reply.find("\r\n\r\n");
  return end == std::string_view::npos ? std::string() : std::string(reply.substr(end + 4));
}

// ---------------------------------------------------------------------------------------------

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    options.listenAddress = "127.0.0.1";
    options.port = 0;
    options.threads = 2;
    options.protocol.major = 3;
    options.protocol.minor = 7;
  }

  void Start() {
    if (!database) database = std::make_unique<Database>(dir / "service.db");
    server = std::make_unique<Server>(*database, options, [this](const std::string& line) {
      std::lock_guard lock(logMutex);
      serverLog.push_back(line);
    });
  }

  void Restart() {
    server.reset();
    database.reset();
    Start();
  }

  std::uint16_t port() const { return server->port(); }

  // The server still serves: a GETIP gets its full answer.
  ::testing::AssertionResult StillAnswers() {
    const std::string reply = Exchange(port(), Get(kGetIp));
    if (StatusOf(reply) == 200 && HeaderOf(reply, "Y-IP") == "127.0.0.1") {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "GETIP answered: " << reply;
  }

  std::vector<std::string> ServerLog() {
    std::lock_guard lock(logMutex);
    return serverLog;
  }

  TempDir dir;
  ServerOptions options;
  std::unique_ptr<Database> database;
  std::unique_ptr<Server> server;
  std::mutex logMutex;
  std::vector<std::string> serverLog;
};

// --- the client's own commands ------------------------------------------------------------------

TEST_F(ServiceTest, ClientRunsAllFourCommands) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  ClientFixture client(port());
  client.StoreDomains("demo.example.com|Sesame-42,");
  client.state.glbMX = true;

  EXPECT_TRUE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(client.state.publicIp, "127.0.0.1");
  EXPECT_TRUE(client.recorder.Has("获取本机公网IP成功,IP地址是:127.0.0.1"));

  EXPECT_TRUE(client.runner.ExecuteCommand("GETVER"));
  EXPECT_EQ(client.state.serverMajor, 3);
  EXPECT_EQ(client.state.serverMinor, 7);

  const std::int64_t before = Now();
  EXPECT_TRUE(client.runner.ExecuteCommand("START"));
  const std::int64_t after = Now();
  EXPECT_TRUE(client.recorder.Has("域名demo.example.com动态解析成功"));
  std::vector<Record> records = database->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].domain, kDemo);
  EXPECT_EQ(records[0].address, "127.0.0.1");
  EXPECT_TRUE(records[0].mx);
  EXPECT_GE(records[0].updated, before);
  EXPECT_LE(records[0].updated, after);

  EXPECT_TRUE(client.runner.ExecuteCommand("STOP"));
  EXPECT_TRUE(client.recorder.Has("域名demo.example.com停止解析成功"));
  EXPECT_TRUE(database->Records().empty());

  for (const std::string& line : ServerLog()) {
    EXPECT_EQ(line.find(kDemoPassword), std::string::npos) << line;
    EXPECT_EQ(line.find(kDemoSig), std::string::npos) << line;
  }
  EXPECT_EQ(ServerLog().size(), 4u);
}

struct OutcomeCase {
  const char* name;
  const char* command;
  const char* stored;  // the client's domain list
  const char* line;    // what the client logs for the domain
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class ClientOutcome : public ServiceTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ClientOutcome, LogsTheWholeExplanation) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  database->SetRecord({std::string(kDemo), "192.0.2.1", false, 1});
  ClientFixture client(port());
  client.StoreDomains(GetParam().stored);
  EXPECT_TRUE(client.runner.ExecuteCommand(GetParam().command));
  std::vector<std::string> outcomes;
  for (const std::string& line : client.recorder.lines) {
    if (line.rfind("域名", 0) == 0) outcomes.push_back(line);
  }
  EXPECT_EQ(outcomes, std::vector<std::string>{GetParam().line});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ClientOutcome,
    ::testing::Values(OutcomeCase{"StartGood", "START", "demo.example.com|Sesame-42,",
                                  "域名demo.example.com动态解析成功"},
                      OutcomeCase{"StartWrongPassword", "START", "demo.example.com|sesame-42,",
                                  "域名demo.example.com动态解析失败,签名错误，请检查域名管理密码"},
                      OutcomeCase{"StartUnknownDomain", "START", "nobody.example.org|Sesame-42,",
                                  "域名nobody.example.org动态解析失败,域名不存在"},
                      OutcomeCase{"StopGood", "STOP", "demo.example.com|Sesame-42,",
                                  "域名demo.example.com停止解析成功"},
                      OutcomeCase{"StopWrongPassword", "STOP", "demo.example.com|Sesame-4,",
                                  "域名demo.example.com停止解析失败,签名错误，请检查域名管理密码"},
                      OutcomeCase{"StopUnknownDomain", "STOP", "nobody.example.org|Sesame-42,",
                                  "域名nobody.example.org停止解析失败,域名不存在"}),
    [](const ::testing::TestParamInfo<OutcomeCase>& tested) {
      return std::string(tested.param.name);
    });

TEST_F(ServiceTest, FailedUpdatesLeaveTheRecord) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  database->SetRecord({std::string(kDemo), "192.0.2.1", false, 1});
  ClientFixture client(port());
  client.StoreDomains("demo.example.com|wrong,");
  client.runner.ExecuteCommand("START");
  client.runner.ExecuteCommand("STOP");
  const std::vector<Record> records = database->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].address, "192.0.2.1");
  EXPECT_EQ(records[0].updated, 1);
}

TEST_F(ServiceTest, RestartKeepsTheRecords) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  {
    ClientFixture client(port());
    client.StoreDomains("demo.example.com|Sesame-42,");
    ASSERT_TRUE(client.runner.ExecuteCommand("START"));
  }
  Restart();
  const std::vector<Record> records = database->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].domain, kDemo);
  EXPECT_EQ(records[0].address, "127.0.0.1");
  // The account came back too: the restarted service takes the STOP.
  ClientFixture client(port());
  client.StoreDomains("demo.example.com|Sesame-42,");
  EXPECT_TRUE(client.runner.ExecuteCommand("STOP"));
  EXPECT_TRUE(client.recorder.Has("域名demo.example.com停止解析成功"));
  EXPECT_TRUE(database->Records().empty());
}

TEST_F(ServiceTest, ParallelClientsAllGetAnswers) {
  options.threads = 4;
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  const std::string start =
      Get("/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&"
          "DomainList=demo.example.com|" +
          std::string(kDemoSig) + ",");
  constexpr int kThreads = 8;
  constexpr int kEach = 10;
  std::vector<int> answered(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string reply = Exchange(port(), i % 2 == 0 ? start : Get(kGetIp));
        if (StatusOf(reply) == 200 && HeaderOf(reply, "RET-CODE") == "200") ++answered[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered, std::vector<int>(kThreads, kEach));
  EXPECT_EQ(database->Records().size(), 1u);
}

// --- HTTP -----------------------------------------------------------------------------------

TEST_F(ServiceTest, ValueLinesTravelAsCodePage936) {
  Start();
  const std::string reply =
      Exchange(port(), Get("/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&"
                           "DomainList=nobody.example.org|X,"));
  EXPECT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(HeaderOf(reply, "RET-CODE"), "200");
  // "域名不存在" in GBK.
  EXPECT_EQ(HeaderOf(reply, "RET-DMLIST"),
            "nobody.example.org|404\xD3\xF2\xC3\xFB\xB2\xBB\xB4\xE6\xD4\xDA,");
  EXPECT_EQ(HeaderOf(reply, "Connection"), "close");
}

struct StatusCase {
  const char* name;
  std::string request;
  int status;
};

void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class HttpStatus : public ServiceTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(HttpStatus, Answers) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  const std::string reply = Exchange(port(), GetParam().request);
  EXPECT_EQ(StatusOf(reply), GetParam().status) << reply;
  EXPECT_EQ(HeaderOf(reply, "RET-CODE"), "");
  EXPECT_TRUE(database->Records().empty());
  EXPECT_TRUE(StillAnswers());
}

const std::string kStartTarget =
    "/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&DomainList=demo.example.com|" +
    std::string(kDemoSig) + ",";

std::string Headers(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "X-Filler-" + std::to_string(i) + ": value\r\n";
  return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HttpStatus,
    ::testing::Values(
        StatusCase{
            "Post",
            "POST " + kStartTarget +
                " HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello",
            405},
        StatusCase{"PostWithoutBody",
                   "POST " + kStartTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                   405},
        StatusCase{"Put",
                   "PUT " + kStartTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                   405},
        StatusCase{"Delete", "DELETE /records HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                   405},
        StatusCase{"UnknownPath", Get("/index.html"), 404},
        StatusCase{"StartOnInfoPath",
                   Get("/quorvixDDNS_GETUserIp.asp?Command=START&glbMX=False&DomainList="
                       "demo.example.com|" +
                       std::string(kDemoSig) + ","),
                   400},
        StatusCase{"QueryDoesNotParse", Get("/quorvixDDNS_GETUserIp.asp?Command=GETIP"), 400},
        StatusCase{"ManyHeaderLines", Get(kGetIp, Headers(100)), 431}),
    [](const ::testing::TestParamInfo<StatusCase>& tested) {
      return std::string(tested.param.name);
    });

TEST_F(ServiceTest, ProxiesMayAddSomeHeaders) {
  Start();
  const std::string reply = Exchange(port(), Get(kGetIp, Headers(30)));
  EXPECT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(HeaderOf(reply, "Y-IP"), "127.0.0.1");
}

struct OversizedCase {
  const char* name;
  std::string request;
};

void PrintTo(const OversizedCase& c, std::ostream* out) { *out << c.name; }

class Oversized : public ServiceTest, public ::testing::WithParamInterface<OversizedCase> {};

TEST_P(Oversized, IsRefusedAndTheServerGoesOn) {
  Start();
  RawConnection connection(port());
  ASSERT_TRUE(connection.connected());
  connection.Send(GetParam().request);
  bool closed = false;
  const std::string reply = connection.ReadAll(&closed);
  // The server may close before it has read all: the kernel then resets the connection and the
  // refusal can be lost on the way. Either way nothing is served.
  if (!reply.empty()) {
    const int status = StatusOf(reply);
    EXPECT_TRUE(status == 414 || status == 431) << reply.substr(0, 200);
    EXPECT_EQ(HeaderOf(reply, "Y-IP"), "");
  } else {
    EXPECT_TRUE(closed) << "neither answered nor closed";
  }
  EXPECT_TRUE(StillAnswers());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Oversized,
    ::testing::Values(OversizedCase{"RequestLine", Get(std::string(kGetIp) +
                                                       "pad=" + std::string(17 * 1024, 'a'))},
                      OversizedCase{"OneLongHeader",
                                    Get(kGetIp, "X-Big: " + std::string(17 * 1024, 'b') + "\r\n")},
                      OversizedCase{"ManyLongHeaders", Get(kGetIp,
                                                           [] {
                                                             std::string lines;
                                                             for (int i = 0; i < 40; ++i) {
                                                               lines += "X-Long-" +
                                                                        std::to_string(i) + ": " +
                                                                        std::string(500, 'c') +
                                                                        "\r\n";
                                                             }
                                                             return lines;
                                                           }())}),
    [](const ::testing::TestParamInfo<OversizedCase>& tested) {
      return std::string(tested.param.name);
    });

struct GarbageCase {
  const char* name;
  std::string bytes;
  bool hangUp;  // stop sending (half-close) after the bytes
};

void PrintTo(const GarbageCase& c, std::ostream* out) { *out << c.name; }

class Garbage : public ServiceTest, public ::testing::WithParamInterface<GarbageCase> {};

TEST_P(Garbage, NeverStopsTheServer) {
  // A request that never ends is dropped when its client falls silent.
  options.readTimeoutSeconds = 1;
  Start();
  {
    RawConnection connection(port());
    ASSERT_TRUE(connection.connected());
    connection.Send(GetParam().bytes);
    if (GetParam().hangUp) connection.ShutdownWrite();
    bool closed = false;
    const std::string reply = connection.ReadAll(&closed);
    EXPECT_TRUE(closed) << "the server kept the connection";
    // Whatever came back is no answer of the protocol.
    EXPECT_EQ(HeaderOf(reply, "RET-CODE"), "");
    if (!reply.empty()) {
      EXPECT_GE(StatusOf(reply), 400) << reply;
    }
  }
  EXPECT_TRUE(StillAnswers());
}

std::string Binary() {
  std::string bytes;
  unsigned value = 12345;
  for (int i = 0; i < 3000; ++i) {
    value = value * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(value >> 16));
  }
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Garbage,
    ::testing::Values(GarbageCase{"Binary", Binary(), true},
                      GarbageCase{"NulsAndBlankLines", std::string("\0\0\r\n\r\n\0", 7), false},
                      GarbageCase{"NoTarget", "GET\r\n\r\n", false},
                      GarbageCase{"UnknownVersion", "GET / HTTP/9.9\r\n\r\n", false},
                      GarbageCase{"HeaderWithoutColon",
                                  "GET / HTTP/1.1\r\nHost: x\r\nno colon here\r\n\r\n", false},
                      GarbageCase{"HalfARequest", "GET /quorvixDDNS_GETUserIp.asp?Comm", true},
                      GarbageCase{"OnlyHeadersNoEnd", "GET / HTTP/1.1\r\nHost: x\r\n", true}),
    [](const ::testing::TestParamInfo<GarbageCase>& tested) {
      return std::string(tested.param.name);
    });

TEST_F(ServiceTest, SilentClientsAreDisconnectedAndHoldNobodyUp) {
  options.readTimeoutSeconds = 1;
  options.threads = 2;
  Start();
  // More silent connections than the server has threads.
  std::vector<std::unique_ptr<RawConnection>> silent;
  for (int i = 0; i < 6; ++i) {
    silent.push_back(std::make_unique<RawConnection>(port()));
    ASSERT_TRUE(silent.back()->connected());
  }
  EXPECT_TRUE(StillAnswers());
  const auto begin = std::chrono::steady_clock::now();
  bool closed = false;
  EXPECT_EQ(silent.front()->ReadAll(&closed), "");
  EXPECT_TRUE(closed) << "the silent connection was kept open";
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
  EXPECT_TRUE(StillAnswers());
}

TEST_F(ServiceTest, RecordsAsJson) {
  Start();
  database->AddAccount(kDemo, kDemoPassword);
  database->AddAccount("two.example.net", "second#2");
  ASSERT_EQ(StatusOf(Exchange(port(), Get(kStartTarget))), 200);
  const std::string reply = Exchange(port(), Get("/records"));
  EXPECT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(HeaderOf(reply, "Content-Type"), "application/json");
  const nlohmann::json records = nlohmann::json::parse(BodyOf(reply));
  ASSERT_TRUE(records.is_array());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["domain"], "demo.example.com");
  EXPECT_EQ(records[0]["address"], "127.0.0.1");
  EXPECT_EQ(records[0]["mx"], false);
  const std::string updated = records[0]["updated"];
  EXPECT_EQ(updated, IsoTime(database->Records().at(0).updated));
  EXPECT_EQ(reply.find(kDemoPassword), std::string::npos);
  EXPECT_EQ(reply.find("second#2"), std::string::npos);
}

TEST(RecordsJson, FormatsEachRecord) {
  const nlohmann::json records = nlohmann::json::parse(RecordsJson(
      {{"demo.example.com", "203.0.113.7", true, 1700000000}, {"bad\xFF.example", "", false, 0}}));
  EXPECT_EQ(records, nlohmann::json::parse(R"([
    {"domain": "demo.example.com", "address": "203.0.113.7", "mx": true,
     "updated": "2023-11-14T22:13:20Z"},
    {"domain": "bad\ufffd.example", "address": "", "mx": false, "updated": "1970-01-01T00:00:00Z"}
  ])"));
}

struct ForwardCase {
  const char* name;
  bool trust;
  const char* header;  // the X-Forwarded-For line, or empty
  const char* caller;
};

void PrintTo(const ForwardCase& c, std::ostream* out) { *out << c.name; }

class ForwardedFor : public ServiceTest, public ::testing::WithParamInterface<ForwardCase> {};

TEST_P(ForwardedFor, DecidesTheCaller) {
  options.trustForwardedFor = GetParam().trust;
  Start();
  const std::string reply = Exchange(port(), Get(kGetIp, GetParam().header));
  EXPECT_EQ(StatusOf(reply), 200);
  EXPECT_EQ(HeaderOf(reply, "Y-IP"), GetParam().caller);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ForwardedFor,
    ::testing::Values(
        ForwardCase{"IgnoredByDefault", false, "X-Forwarded-For: 198.51.100.1\r\n", "127.0.0.1"},
        ForwardCase{"TrustedSingle", true, "X-Forwarded-For: 198.51.100.1\r\n", "198.51.100.1"},
        // The proxy appends what it saw; earlier entries are the client's claims.
        ForwardCase{"TrustedTakesTheLast", true,
                    "X-Forwarded-For: 10.0.0.1, 198.51.100.1 , 203.0.113.9\r\n", "203.0.113.9"},
        ForwardCase{"TrustedWithoutHeader", true, "", "127.0.0.1"}),
    [](const ::testing::TestParamInfo<ForwardCase>& tested) {
      return std::string(tested.param.name);
    });

}  // namespace
}  // namespace quorvix::service
