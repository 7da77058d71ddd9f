#include "protocol/command_runner.h"

#include <gtest/gtest.h>

#include "protocol/signing.h"
#include "support/client_fixture.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Lines = std::vector<std::string>;

// Upper-case MD5 of the text in the comment, made with printf '%s' 'TEXT' | md5sum.
const std::string kA = "a.com|6F7FB1EAF0E3E00C99CF55B536E10036,";  // a.compw1TQ59WM37hd
const std::string kB = "b.org|0787AC34972DC1ABF705FFCDCDE9AB4F,";  // b.orgp|2TQ59WM37hd

std::string Request(const std::string& query, const std::string& host) {
  return "GET " + query + " HTTP/1.1\r\nHost: " + host +
         "\r\nAccept: */*\r\nPragma: no-cache\r\nConnection: close\r\nReferer: " + host +
         "\r\nUser-Agent: quorvixDDNS/1.1\r\n\r\n";
}

// Blanks are signed as they are; what single-byte code page 936 cannot hold is left out.
TEST(SignedDomainList, SignsEachEntryItCan) {
  ClientFixture client;
  client.state.glbLogVerbose = false;
  client.StoreDomains(
      " a.com | pw1 ,x.cn|密码1,e.net|pw\xF0\x9F\x98\x80,例子.cn|p,m.org|pw\xFF,|pw,b.org|p|2");
  EXPECT_EQ(SignedDomainList(client.store, client.recorder.log()),
            // ' a.com  pw1 TQ59WM37hd', 'pwTQ59WM37hd'
            " a.com |2E10D38EA106BD422C5E5800699FBDB8,|1D9C342569FA8554770BE5BD6E5F3116," + kB);
  Lines lines;
  for (const char* domain : {"x.cn", "e.net", "例子.cn", "m.org"})
    lines.push_back(UnsignableEntryLine(domain));
  EXPECT_EQ(client.recorder.lines, lines);
  EXPECT_EQ(lines[0],
            "域名x.cn签名失败,域名和密码只能包含英文字母、数字和英文符号,本次未发送该域名");
}

// The update host is 127.0.0.1, the information host 127.0.0.2, each server listening only on
// its own: a command sent to the other finds nothing there.
TEST(ExecuteCommand, EachCommandGoesToItsServerWithItsRequest) {
  const auto lookup = [](const std::string& name) {
    return Lines{name == "ip.quorvix.com" ? "127.0.0.2" : "127.0.0.1"};
  };
  const std::string reply = HttpReply(
      {"RET-CODE: 200", "RET-DMLIST: a.com|200,", "Y-IP: 1.2.3.4", "Major: 1", "Minor: 2"});
  const std::string update = "/QUORVIXDDNS/quorvixDDNS_server.asp?Command=",
                    info = "/quorvixDDNS_GETUserIp.asp?Command=";
  for (const auto& [command, address, request] :
       {std::tuple<std::string, const char*, std::string>{
            "GETIP", "127.0.0.2", Request(info + "GETIP&glbMX=True&", "ip.quorvix.com")},
        {"GETVER", "127.0.0.2", Request(info + "GETVER&glbMX=True&", "ip.quorvix.com")},
        {"START", "127.0.0.1",
         Request(update + "START&glbMX=True&DomainList=" + kA + kB, "ddns.quorvix.com")},
        {"STOP", "127.0.0.1",
         Request(update + "STOP&glbMX=True&DomainList=" + kA + kB, "ddns.quorvix.com")}}) {
    ScriptServer server({ServerStep::Replying(reply)}, address);
    ClientFixture client(server.port(), {10s, 10s}, lookup);
    client.StoreDomains("a.com|pw1,x.cn|密码,b.org|p|2,");
    client.state.glbMX = true;
    EXPECT_TRUE(client.runner.ExecuteCommand(command)) << command;
    EXPECT_EQ(server.requests(), Lines{request});
    EXPECT_EQ(client.recorder.Has(UnsignableEntryLine("x.cn")), command.starts_with("ST"));
    EXPECT_EQ(client.state.localIp, command == "GETIP" ? "127.0.0.1" : "");  // GETIP's only
  }
}

// With verbose logging off: no domains, no update; then each domain's outcome (in GBK).
TEST(ExecuteCommand, UpdateCommandsNeedDomainsAndReportEachOne) {
  for (const auto& [command, lines] :
       {std::pair<std::string, Lines>{
            "START", {"域名a.com动态解析成功", "域名b.org动态解析失败,域名不存在"}},
        {"STOP", {"域名a.com停止解析成功", "域名b.org停止解析失败,名不存在"}}}) {
    ScriptServer server({ServerStep::Replying(
        HttpReply({"RET-CODE: 200",
                   "RET-DMLIST: a.com|200,b.org|404\xD3\xF2\xC3\xFB\xB2\xBB\xB4\xE6\xD4\xDA,"}))});
    ClientFixture client(server.port());
    client.state.glbLogVerbose = false;
    EXPECT_FALSE(client.runner.ExecuteCommand(command));
    EXPECT_EQ(client.recorder.lines, Lines{"执行命令失败,请先设置好要解析的域名"});
    client.recorder.lines.clear();
    client.StoreDomains("a.com|pw1,b.org|p|2,");
    EXPECT_TRUE(client.runner.ExecuteCommand(command));
    EXPECT_EQ(client.recorder.lines, lines);
    EXPECT_EQ(server.connections(), 1);
  }
}

// The server holds a silent connection until the client hangs up: the next command is
// answered only if it was closed. An unknown command sends nothing.
TEST(ExecuteCommand, FailuresCloseTheConnection) {
  for (const std::string command : {"START", "GETVER", "start"}) {
    ClientFixture down(testing::UnusedPort());
    down.state.glbLogVerbose = false;
    down.StoreDomains("a.com|pw1,");
    EXPECT_FALSE(down.runner.ExecuteCommand(command));
    EXPECT_EQ(down.recorder.lines, Lines{"抱歉，网络连接失败，请检查您本地网络是否正常"});
    ScriptServer server(
        {ServerStep::Of(ServerStep::Kind::Hold),
         ServerStep::Replying(HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"}))});
    ClientFixture client(server.port(), SocketLimits{400ms, 400ms});
    client.StoreDomains("a.com|pw1,");
    EXPECT_FALSE(client.runner.ExecuteCommand(command));
    const std::string outcome =
        command == "START" ? "_START命令,服务器未返回数据" : "获取版本号失败";
    EXPECT_EQ(
        client.recorder.lines,
        (command == "start" ? Lines{"发送命令:start....", "命令发送失败", "connection terminal."}
                            : Lines{"发送命令:" + command + "....", "Socket Time out,Time=120",
                                    "服务器返回结果:\\r\\n", "connection terminal.", outcome}));
    EXPECT_TRUE(client.runner.ExecuteCommand("START"));
    EXPECT_EQ(server.requests().at(0), client.runner.BuildRequest(command));
  }
}

}  // namespace
}  // namespace quorvix
