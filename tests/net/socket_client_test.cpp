#include "net/socket_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "net/dotted_address.h"
#include "support/log_recorder.h"
#include "support/script_server.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using quorvix::testing::HttpReply;
using quorvix::testing::ScriptServer;
using quorvix::testing::ServerStep;
using Kind = ServerStep::Kind;
using Lines = std::vector<std::string>;

constexpr SocketLimits kPatient{1s, 20s};
const std::string kRequest = "GET /ddns HTTP/1.0\r\n\r\n";

std::size_t OpenDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

std::string HostName() {
  char name[256] = {};
  EXPECT_EQ(::gethostname(name, sizeof name - 1), 0);
  return name;
}

class ClientTest : public ::testing::Test {
 protected:
  // A resolver that answers every name with `answer` and notes the names asked.
  SocketClient::Lookup Lookup() {
    return [this](const std::string& name) {
      asked.push_back(name);
      return answer;
    };
  }

  ProgramState state;
  testing::LogRecorder recorder{state};
  Lines answer, asked;
};

// About 10,000 bytes of numbered characters, in GBK or UTF-8; in GBK the character at bytes
// 1023-1024 straddles the end of the first receive.
std::string Pattern(bool gbk) {
  std::string text;
  for (int i = 0; i < 1850; ++i) text += std::to_string(i) + (gbk ? "\xD6\xD0" : "中");
  return text;
}

TEST_F(ClientTest, ReceivesTheWholeReplyUntilCloseLimitOrError) {
  const SocketLimits quick{300ms, 400ms}, smallCap{1s, 20s, 1500}, longWait{5s, 400ms};
  const std::string ok = HttpReply({"RET-CODE: 200"}), closed = "Socket close...";
  const struct {
    const char* name;
    SocketLimits limits;
    ServerStep step;
    std::string reply;  // UTF-8
    std::string line;   // the line before "connection terminal."
    bool drip = false;  // a non-empty part of `reply` only
  } cases[] = {
      // A GBK character is cut in two between writes.
      {"ManyWrites", kPatient,
       ServerStep::Of(Kind::Reply, {"HTTP/1.1 2", "00 OK\r\nX: \xD3", "\xF2\xC3\xFB", "\r\n"},
                      20ms),
       "HTTP/1.1 200 OK\r\nX: 域名\r\n", closed},
      {"LongerThanOneReceive", kPatient, ServerStep::Replying(Pattern(true)), Pattern(false),
       closed},
      {"CloseAtOnce", kPatient, ServerStep::Of(Kind::CloseAtOnce), "", closed},
      {"NeverAnswers", quick, ServerStep::Of(Kind::NeverAnswer), "", "Socket Time out,Time=120"},
      // Each byte comes well within the reply wait; only the overall limit ends the read.
      {"Drip", quick, ServerStep::Of(Kind::Drip, {ok}, 50ms), ok, "Socket read time out,Time=120",
       true},
      // The wait for more ends with the overall limit, not after the longer reply wait.
      {"PartThenSilence", longWait, ServerStep::Of(Kind::ReplyOpen, {"HTTP/1.1 200 OK\r\n"}),
       "HTTP/1.1 200 OK\r\n", "Socket read time out,Time=120"},
      // Linux hands out the data queued ahead of a reset before it reports the reset.
      {"Reset", kPatient, ServerStep::Of(Kind::Reset, {"HTTP/1.1 200 OK\r\n"}),
       "HTTP/1.1 200 OK\r\n", "ERROR:104"},
      {"CappedAt1MiB", kPatient, ServerStep::Flooding(3 << 20), std::string(1 << 20, 'x'),
       "Socket reply too long,Limit=1048576"},
      {"JustBelowTheCap", smallCap, ServerStep::Flooding(1499), std::string(1499, 'x'), closed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recorder.lines.clear();
    ScriptServer server({c.step});
    SocketClient client(recorder.log(), c.limits, Lookup());
    ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));
    EXPECT_EQ(client.SockSend(kRequest), static_cast<std::int32_t>(kRequest.size()));
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = client.SockReceive();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);  // each case ends well before
    client.SockClose();
    if (c.drip) {
      EXPECT_TRUE(!reply.empty() && reply.size() < c.reply.size()) << reply.size();
      EXPECT_EQ(reply, c.reply.substr(0, reply.size()));
    } else {
      EXPECT_EQ(reply, c.reply);
    }
    EXPECT_EQ(recorder.lines, (Lines{c.line, "connection terminal."}));
    EXPECT_EQ(server.requests(), Lines{kRequest});
  }
  EXPECT_EQ(asked, Lines{});  // a dotted address never goes to the resolver
}

TEST_F(ClientTest, RefusedConnectLeavesNothingOpen) {
  const std::size_t before = OpenDescriptors();
  {
    SocketClient client(recorder.log(), kPatient, Lookup());
    EXPECT_FALSE(client.SockConnect("127.0.0.1", testing::UnusedPort()));
    EXPECT_EQ(OpenDescriptors(), before);
  }
  EXPECT_EQ(recorder.lines, Lines{"connect error,ErrorInfo:111"});
  ScriptServer server({ServerStep::Of(Kind::NeverAnswer)});
  {
    SocketClient forgotten(recorder.log(), kPatient, Lookup());
    ASSERT_TRUE(forgotten.SockConnect("127.0.0.1", server.port()));
  }
  server.Stop();                         // closes the server's own end and its listener
  EXPECT_EQ(OpenDescriptors(), before);  // the client closed its end when destroyed
}

TEST_F(ClientTest, NamesGoThroughTheLookupAndTextThroughCodePage936) {
  ScriptServer server({ServerStep::Replying("HTTP/1.1 200 OK\r\nX: \xD3\xF2\xC3\xFB\r\n")});
  SocketClient client(recorder.log(), kPatient, Lookup());
  const std::size_t before = OpenDescriptors();
  EXPECT_FALSE(client.SockConnect("nowhere.example", 80));  // `answer` is empty
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(client.LocalAddress(), "");
  answer = {"127.0.0.1", "10.255.255.1"};
  ASSERT_TRUE(client.SockConnect("ddns.example", server.port()));
  EXPECT_EQ(client.SockSend("GET 中\r\n\r\n"), 10);
  EXPECT_EQ(client.SockReceive(), "HTTP/1.1 200 OK\r\nX: 域名\r\n");
  EXPECT_EQ(client.LocalAddress(), "127.0.0.1");  // the first address of the host name
  client.SockClose();
  EXPECT_EQ(asked, (Lines{"nowhere.example", HostName(), "ddns.example", HostName()}));
  EXPECT_EQ(server.requests(), Lines{"GET \xD6\xD0\r\n\r\n"});
  EXPECT_EQ(recorder.lines,
            (Lines{"域名nowhere.example解析失败", "connection terminal.",
                   "域名" + HostName() + "解析失败", "本机IP地址:", "Socket close...",
                   "本机IP地址:127.0.0.1", "connection terminal."}));
}

TEST(DottedAddressTest, Table) {
  const std::pair<std::string_view, bool> cases[] = {
      {"10.0.0.1", true},  {"0.0.0.0", true},           {"255.255.255.255", true},
      {"10.0.0", false},   {"10.0.0.1.5", false},       {"10.0.0.256", false},
      {"a.b.c.d", false},  {"10..0.1", false},          {"", false},
      {"1.2.3.", false},   {".1.2.3", false},           {"1.2.3.4 ", false},
      {"1.2.3.+4", false}, {"99999999999.1.1.1", false}};
  for (const auto& [text, dotted] : cases) EXPECT_EQ(IsDottedAddress(text), dotted) << text;
}

}  // namespace
}  // namespace quorvix
