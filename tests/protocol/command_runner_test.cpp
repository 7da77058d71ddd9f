#include "protocol/command_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
using Lines = std::vector<std::string>;

const std::string kStartOk = HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"});

TEST(ExecuteCommandTest, UpdateCommandsNeedDomainsReportEachOneAndSendNoPassword) {
  // "404域名不存在" as the server writes it, in code page 936.
  const std::string reply =
      HttpReply({"RET-CODE: 200",
                 "RET-DMLIST: a.com|200,b.org|404\xD3\xF2\xC3\xFB\xB2\xBB\xB4\xE6\xD4\xDA,"});
  const struct {
    std::string command;
    Lines last;  // the last lines written
  } cases[] = {{"START", {"域名a.com动态解析成功", "域名b.org动态解析失败,域名不存在"}},
               {"STOP", {"域名a.com停止解析成功", "域名b.org停止解析失败,名不存在"}}};
  for (const auto& [command, last] : cases) {
    ScriptServer server({ServerStep::Replying(reply)});
    ClientFixture client(server.port());
    EXPECT_FALSE(client.runner.ExecuteCommand(command));
    EXPECT_EQ(client.recorder.lines, Lines{"执行命令失败,请先设置好要解析的域名"});
    EXPECT_EQ(server.connections(), 0);
    client.StoreDomains("a.com|Sesame-42,b.org|hunter|77,");
    EXPECT_TRUE(client.runner.ExecuteCommand(command));
    const Lines& lines = client.recorder.lines;
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()), last);
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string sent = server.requests()[0];
    EXPECT_THAT(sent, HasSubstr("Command=" + command + "&glbMX=False&DomainList=a.com|"));
    for (const char* secret : {"Sesame", "hunter", "|77"}) {
      EXPECT_THAT(sent, ::testing::Not(HasSubstr(secret)));
    }
  }
}

TEST(ExecuteCommandTest, GetIpSetsBothAddressesAndAFailedOneTheLocalOne) {
  const std::string ok = HttpReply({"RET-CODE: 200", "Y-IP: 203.0.113.7"});
  ScriptServer server({ServerStep::Replying(HttpReply({"RET-CODE: 200"}, "HTTP/1.1 500 Error")),
                       ServerStep::Replying(ok)});
  ClientFixture client(server.port());
  client.state.publicIp = "198.51.100.1";
  client.state.localIp = "192.0.2.99";
  EXPECT_FALSE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(client.state.publicIp, "198.51.100.1");
  EXPECT_EQ(client.state.localIp, "10.1.2.3");
  client.recorder.lines.clear();
  EXPECT_TRUE(client.runner.ExecuteCommand("GETIP"));
  EXPECT_EQ(client.state.publicIp, "203.0.113.7");
  EXPECT_EQ(client.state.localIp, "10.1.2.3");
  EXPECT_EQ(client.recorder.lines,
            (Lines{"发送命令:GETIP....", "Socket close...", "服务器返回结果:\r\n" + ok,
                   "本机IP地址:10.1.2.3", "connection terminal.",
                   "获取本机公网IP成功,IP地址是:203.0.113.7"}));
  EXPECT_EQ(server.requests(), Lines(2, testing::kGetIpRequest));
}

TEST(ExecuteCommandTest, FailuresCloseTheConnection) {
  for (const std::string command : {"START", "GETVER"}) {
    // Nothing listens.
    ClientFixture down(testing::UnusedPort());
    down.StoreDomains("a.com|pw1,");
    EXPECT_FALSE(down.runner.ExecuteCommand(command));
    EXPECT_EQ(down.recorder.lines,
              (Lines{"发送命令:" + command + "....", "connect error,ErrorInfo:111",
                     "抱歉，网络连接失败，请检查您本地网络是否正常"}));
    // The server holds a silent connection until the client hangs up: the second command is
    // answered only if the first connection was closed.
    ScriptServer server(
        {ServerStep::Of(ServerStep::Kind::NeverAnswer), ServerStep::Replying(kStartOk)});
    ClientFixture client(server.port(), SocketLimits{400ms, 400ms});
    client.StoreDomains("a.com|pw1,");
    EXPECT_FALSE(client.runner.ExecuteCommand(command));
    EXPECT_EQ(client.recorder.lines,
              (Lines{"发送命令:" + command + "....", "Socket Time out,Time=120",
                     "服务器返回结果:\r\n", "connection terminal.",
                     command == "START" ? "_START命令,服务器未返回数据" : "获取版本号失败"}));
    EXPECT_TRUE(client.runner.ExecuteCommand("START"));
    EXPECT_EQ(server.connections(), 2);
  }
}

TEST(ExecuteCommandTest, UnknownCommandSendsNothingAndCloses) {
  ScriptServer server({ServerStep::Replying(kStartOk)});
  ClientFixture client(server.port());
  EXPECT_FALSE(client.runner.ExecuteCommand("start"));
  EXPECT_EQ(client.recorder.lines,
            (Lines{"发送命令:start....", "命令发送失败", "connection terminal."}));
  // The server records the empty request once the client hangs up, maybe just after.
  for (int wait = 0; wait < 200 && server.requests().empty(); ++wait)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(server.requests(), Lines{""});
}

}  // namespace
}  // namespace quorvix
