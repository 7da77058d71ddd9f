#include "protocol/command_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/client_fixture.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using testing::ClientFixture;
using ::testing::HasSubstr;
using testing::HttpReply;
using testing::ScriptServer;
using testing::ServerStep;
using ::testing::StartsWith;

// Signatures made outside the program: printf '%s' 'a.compw1TQ59WM37hd' | md5sum, and so on.
constexpr std::string_view kSignedPair =
    "a.com|6F7FB1EAF0E3E00C99CF55B536E10036,b.org|0787AC34972DC1ABF705FFCDCDE9AB4F,";
constexpr std::string_view kSignedC = "c.net|758B2EAC7018570AB6B052D384B1E8E8,";  // password "new"

constexpr std::string_view kGetIpRequest =
    "GET /quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False& HTTP/1.1\r\n"
    "Host: ip.quorvix.com\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\n"
    "Referer: ip.quorvix.com\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";

constexpr std::string_view kRefused = "执行命令失败,请先设置好要解析的域名";
constexpr std::string_view kNoNetwork = "抱歉，网络连接失败，请检查您本地网络是否正常";
constexpr std::string_view kClosed = "connection terminal.";

const std::string kStartOk = HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"});

// True when `expected` appear in `lines` in this order, other lines between them allowed.
::testing::AssertionResult InOrder(const std::vector<std::string>& lines,
                                   const std::vector<std::string>& expected) {
  auto at = lines.begin();
  for (const std::string& line : expected) {
    at = std::find(at, lines.end(), line);
    if (at == lines.end()) {
      return ::testing::AssertionFailure() << "missing or out of order: " << line;
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

// The server records a request once the client has sent it or hung up, which can come just
// after the client returns when nothing is answered.
std::vector<std::string> RecordedRequests(const ScriptServer& server, std::size_t count) {
  const auto until = std::chrono::steady_clock::now() + 1s;
  std::vector<std::string> requests = server.requests();
  while (requests.size() < count && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(5ms);
    requests = server.requests();
  }
  return requests;
}

class UpdateCommand : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateCommand, RefusedWithoutDomains) {
  ScriptServer server({ServerStep::Replying(kStartOk)});
  ClientFixture client(server.port());
  EXPECT_FALSE(client.runner.ExecuteCommand(GetParam()));
  EXPECT_EQ(client.recorder.lines, std::vector<std::string>{std::string(kRefused)});
  EXPECT_EQ(server.connections(), 0);
}

TEST_P(UpdateCommand, PasswordsNeverTravel) {
  ScriptServer server({ServerStep::Replying(kStartOk)});
  ClientFixture client(server.port());
  client.StoreDomains("a.com|Sesame-42,b.org|hunter|77,");
  EXPECT_TRUE(client.runner.ExecuteCommand(GetParam()));
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& sent = requests.front();
  EXPECT_THAT(sent, HasSubstr("Command=" + GetParam() + "&glbMX=False&DomainList=a.com|"));
  EXPECT_THAT(sent, HasSubstr(",b.org|"));
  for (const char* secret : {"Sesame", "hunter", "|77"}) {
    EXPECT_EQ(sent.find(secret), std::string::npos) << secret << " in " << sent;
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, UpdateCommand, ::testing::Values("START", "STOP"));

TEST(ExecuteCommandTest, GetIpSetsBothAddresses) {
  const std::string reply = HttpReply({"RET-CODE: 200", "Y-IP: 203.0.113.7"});
  ScriptServer server({ServerStep::Replying(reply)});
  ClientFixture client(server.port());
  EXPECT_TRUE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(client.state.publicIp, "203.0.113.7");
  EXPECT_EQ(client.state.localIp, "10.1.2.3");
  EXPECT_TRUE(InOrder(client.recorder.lines,
                      {"发送命令:GETIP....", "服务器返回结果:\r\n" + reply, "本机IP地址:10.1.2.3",
                       std::string(kClosed), "获取本机公网IP成功,IP地址是:203.0.113.7"}));
  EXPECT_EQ(server.requests(), std::vector<std::string>{std::string(kGetIpRequest)});
}

TEST(ExecuteCommandTest, FailedGetIpStillRefreshesLocalAddress) {
  ScriptServer server({ServerStep::Replying(
      HttpReply({"RET-CODE: 200", "Y-IP: 203.0.113.7"}, "HTTP/1.1 500 Error"))});
  ClientFixture client(server.port());
  client.state.publicIp = "198.51.100.1";
  client.state.localIp = "192.0.2.99";
  EXPECT_FALSE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(client.state.localIp, "10.1.2.3");
  EXPECT_EQ(client.state.publicIp, "198.51.100.1");
  EXPECT_TRUE(client.recorder.Has("获取本机公网IP失败,返回为空"));
}

TEST(ExecuteCommandTest, GetVerFillsServerVersion) {
  ScriptServer server(
      {ServerStep::Replying(HttpReply({"RET-CODE: 200", "Major: 2", "Minor: 17"}))});
  ClientFixture client(server.port());
  EXPECT_TRUE(client.runner.ExecuteCommand("GETVER"));
  EXPECT_EQ(client.state.serverMajor, 2);
  EXPECT_EQ(client.state.serverMinor, 17);
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests.front(), StartsWith("GET /quorvixDDNS_GETUserIp.asp?Command=GETVER&glbMX="
                                           "False& HTTP/1.1\r\nHost: ip.quorvix.com\r\n"));
}

TEST(ExecuteCommandTest, StartReportsEachDomainFromGbkReply) {
  // "域名不存在" as the server writes it, in code page 936.
  const std::string notFound = "\xD3\xF2\xC3\xFB\xB2\xBB\xB4\xE6\xD4\xDA";
  ScriptServer server({ServerStep::Replying(
      HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,b.org|404" + notFound + ","}))});
  ClientFixture client(server.port());
  client.StoreDomains("a.com|pw1,b.org|p|2,");
  EXPECT_TRUE(client.runner.ExecuteCommand("START"));
  EXPECT_TRUE(InOrder(client.recorder.lines,
                      {"发送命令:START....", std::string(kClosed), "域名a.com动态解析成功",
                       "域名b.org动态解析失败,域名不存在"}));
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_THAT(requests.front(),
              StartsWith("GET /QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&"
                         "DomainList=" +
                         std::string(kSignedPair) + " HTTP/1.1\r\nHost: ddns.quorvix.com\r\n"));
}

TEST(ExecuteCommandTest, SendsTheListStoredJustBefore) {
  ScriptServer server({ServerStep::Replying(kStartOk)});
  ClientFixture client(server.port());
  client.StoreDomains("a.com|pw1,b.org|p|2,");
  EXPECT_TRUE(client.runner.ExecuteCommand("START"));
  ASSERT_TRUE(client.store.WriteSetting("domains", "c.net|new,"));
  EXPECT_TRUE(client.runner.ExecuteCommand("STOP"));
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_THAT(requests[0], HasSubstr("DomainList=" + std::string(kSignedPair) + " "));
  EXPECT_THAT(requests[1], HasSubstr("DomainList=" + std::string(kSignedC) + " "));
}

class UnknownCommand : public ::testing::TestWithParam<std::string> {};

TEST_P(UnknownCommand, SendsNothingAndCloses) {
  ScriptServer server({ServerStep::Replying(kStartOk)});
  ClientFixture client(server.port());
  client.StoreDomains("a.com|pw1,");
  EXPECT_FALSE(client.runner.ExecuteCommand(GetParam()));
  EXPECT_TRUE(InOrder(client.recorder.lines, {"命令发送失败", std::string(kClosed)}));
  EXPECT_EQ(RecordedRequests(server, 1), std::vector<std::string>{""});
}

INSTANTIATE_TEST_SUITE_P(Names, UnknownCommand, ::testing::Values("start", "FOO", ""));

class ServerDown : public ::testing::TestWithParam<std::string> {};

TEST_P(ServerDown, ReportsNetworkFailure) {
  ClientFixture client(testing::UnusedPort());
  client.StoreDomains("a.com|pw1,");
  EXPECT_FALSE(client.runner.ExecuteCommand(GetParam()));
  EXPECT_TRUE(client.recorder.Has(kNoNetwork));
  EXPECT_FALSE(client.recorder.Has(kClosed));
}

INSTANTIATE_TEST_SUITE_P(Commands, ServerDown,
                         ::testing::Values("START", "STOP", "GETIP", "GETVER"));

struct SilentCase {
  std::string command;
  std::string line;
};

void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.command; }

class SilentServer : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentServer, FailsAndCloses) {
  // The server serves one connection at a time and holds the silent one until the client hangs
  // up: the second command is answered only if the first connection was closed.
  const std::string ipReply = HttpReply({"RET-CODE: 200", "Y-IP: 203.0.113.7"});
  ScriptServer server(
      {ServerStep::Of(ServerStep::Kind::NeverAnswer), ServerStep::Replying(ipReply)});
  ClientFixture client(server.port(), SocketLimits{400ms, 400ms, 1024 * 1024});
  client.StoreDomains("a.com|pw1,");
  EXPECT_FALSE(client.runner.ExecuteCommand(GetParam().command));
  EXPECT_TRUE(InOrder(client.recorder.lines, {std::string(kClosed), GetParam().line}));
  EXPECT_TRUE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(server.connections(), 2);
}

INSTANTIATE_TEST_SUITE_P(Commands, SilentServer,
                         ::testing::Values(SilentCase{"START", "_START命令,服务器未返回数据"},
                                           SilentCase{"STOP", "_STOP命令,服务器未返回数据"},
                                           SilentCase{"GETIP", "获取本机公网IP失败,返回为空"},
                                           SilentCase{"GETVER", "获取版本号失败"}));

}  // namespace
}  // namespace quorvix
