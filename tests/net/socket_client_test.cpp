#include "net/socket_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
using quorvix::testing::LogRecorder;
using quorvix::testing::ScriptServer;
using quorvix::testing::ServerStep;
using Kind = ServerStep::Kind;
using Lines = std::vector<std::string>;

// Waits that only a test of that very wait runs into; the others are shortened per test.
constexpr SocketLimits kPatient{1s, 2s};
const std::string kRequest = "GET /ddns HTTP/1.0\r\n\r\n";

// A dotted address never goes to the resolver; the tests that need names bring their own.
std::vector<std::string> NoLookupExpected(const std::string& name) {
  ADD_FAILURE() << "unexpected lookup of " << name;
  return {};
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

std::string HostName() {
  char name[256] = {};
  EXPECT_EQ(::gethostname(name, sizeof name - 1), 0);
  return name;
}

class ClientTest : public ::testing::Test {
 protected:
  // A resolver that answers every name with `addresses` and notes the names asked.
  SocketClient::Lookup Answering(Lines addresses) {
    return [this, addresses](const std::string& name) {
      asked.push_back(name);
      return addresses;
    };
  }

  ProgramState state;
  LogRecorder recorder{state};
  Lines asked;
};

// One request and its reply against a server playing `step`, as the commands do it.
std::string Exchange(SocketClient& client, const ScriptServer& server,
                     const std::string& host = "127.0.0.1") {
  if (!client.SockConnect(host, server.port())) {
    ADD_FAILURE() << "no connection to " << host;
    return {};
  }
  EXPECT_EQ(client.SockSend(kRequest), static_cast<std::int32_t>(kRequest.size()));
  std::string reply = client.SockReceive();
  client.SockClose();
  return reply;
}

struct ReceiveCase {
  std::string name;
  SocketLimits limits;
  ServerStep step;
  std::string reply;           // what SockReceive returns (UTF-8)
  Lines lines;                 // every log line of the exchange
  bool replyIsPrefix = false;  // a drip: some non-empty part of `reply`, never all of it
};

// About 10,000 bytes of numbered characters, in GBK or UTF-8; in GBK the character at bytes
// 1023-1024 straddles the end of the first receive.
std::string Pattern(bool gbk) {
  std::string text;
  for (int i = 0; i < 1850; ++i) text += std::to_string(i) + (gbk ? "\xD6\xD0" : "中");
  return text;
}

std::vector<ReceiveCase> ReceiveCases() {
  const std::string reply = HttpReply({"RET-CODE: 200", "Y-IP: 1.2.3.4"});
  const Lines closed = {"Socket close...", "connection terminal."};
  return {
      {"OneWrite", kPatient, ServerStep::Replying(reply), reply, closed},
      {"ManySmallWrites", kPatient,
       // A GBK character is cut in two between writes.
       ServerStep::Of(Kind::Reply,
                      {"HTTP/1.1 2", "00 OK\r\n", "RET-INFO: \xD3", "\xF2\xC3\xFB", "\r\n\r\n"},
                      20ms),
       "HTTP/1.1 200 OK\r\nRET-INFO: 域名\r\n\r\n", closed},
      {"LongerThanOneReceive", kPatient, ServerStep::Replying(Pattern(true)), Pattern(false),
       closed},
      {"CloseAtOnce", kPatient, ServerStep::Of(Kind::CloseAtOnce), "", closed},
      {"NeverAnswers",
       {150ms, 2s},
       ServerStep::Of(Kind::NeverAnswer),
       "",
       {"Socket Time out,Time=120", "connection terminal."}},
      {"PartThenSilence",
       {1s, 400ms},
       ServerStep::Of(Kind::ReplyOpen, {"HTTP/1.1 200 OK\r\n", "RET-"}),
       "HTTP/1.1 200 OK\r\nRET-",
       {"Socket read time out,Time=120", "connection terminal."}},
      {"Drip",
       {1s, 400ms},
       ServerStep::Of(Kind::Drip, {reply}, 50ms),
       reply,
       {"Socket read time out,Time=120", "connection terminal."},
       true},
      // Linux hands out the data queued ahead of a reset before it reports the reset.
      {"Reset",
       kPatient,
       ServerStep::Of(Kind::Reset, {"HTTP/1.1 200 OK\r\n"}),
       "HTTP/1.1 200 OK\r\n",
       {"ERROR:104", "connection terminal."}},
  };
}

class ReceiveTest : public ClientTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveTest, ReplyAndLines) {
  const ReceiveCase& c = GetParam();
  ScriptServer server({c.step});
  SocketClient client(recorder.log(), c.limits, NoLookupExpected);
  const std::string reply = Exchange(client, server);
  if (c.replyIsPrefix) {
    EXPECT_FALSE(reply.empty());
    EXPECT_LT(reply.size(), c.reply.size());
    EXPECT_EQ(reply, c.reply.substr(0, reply.size()));
  } else {
    EXPECT_EQ(reply, c.reply);
  }
  EXPECT_EQ(recorder.lines, c.lines);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], kRequest);
}

INSTANTIATE_TEST_SUITE_P(Server, ReceiveTest, ::testing::ValuesIn(ReceiveCases()),
                         [](const auto& param) { return param.param.name; });

TEST_F(ClientTest, ReplyIsCappedAtTheLimit) {
  const Lines closed = {"Socket close...", "connection terminal."};
  const struct {
    std::size_t sent, cap, kept;
    Lines lines;
  } cases[] = {
      {3 * 1024 * 1024,
       SocketLimits{}.maxReplyBytes,
       1048576,
       {"Socket reply too long,Limit=1048576", "connection terminal."}},
      {5000, 1500, 1500, {"Socket reply too long,Limit=1500", "connection terminal."}},
      {70'000, SocketLimits{}.maxReplyBytes, 70'000, closed},
      {1499, 1500, 1499, closed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    recorder.lines.clear();
    ScriptServer server({ServerStep::Flooding(c.sent)});
    // A generous read limit: only the cap or the server's close may end these reads.
    SocketClient client(recorder.log(), {1s, 20s, c.cap}, NoLookupExpected);
    EXPECT_EQ(Exchange(client, server), std::string(c.kept, 'x'));
    EXPECT_EQ(recorder.lines, c.lines);
  }
}

TEST_F(ClientTest, RefusedConnectLeavesNothingOpen) {
  const std::size_t before = OpenDescriptors();
  ScriptServer server({ServerStep::Replying("HTTP/1.1 200 OK\r\n\r\n")});
  const std::size_t withListener = OpenDescriptors();
  SocketClient client(recorder.log(), kPatient, NoLookupExpected);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_FALSE(client.SockConnect("127.0.0.1", testing::UnusedPort()));
  }
  EXPECT_EQ(OpenDescriptors(), withListener);
  EXPECT_EQ(recorder.lines, Lines(3, "connect error,ErrorInfo:111"));
  // The same client goes on to a live server.
  EXPECT_EQ(Exchange(client, server), "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(OpenDescriptors(), withListener);
  {
    SocketClient forgotten(recorder.log(), kPatient, NoLookupExpected);
    ASSERT_TRUE(forgotten.SockConnect("127.0.0.1", server.port()));
  }
  server.Stop();  // closes the server's own end of every connection and its listener
  EXPECT_EQ(OpenDescriptors(), before);  // a client closes its connection when destroyed
}

TEST_F(ClientTest, UnresolvedNameEndsTheAttempt) {
  SocketClient client(recorder.log(), kPatient, Answering({}));
  const std::size_t before = OpenDescriptors();
  EXPECT_FALSE(client.SockConnect("ddns.example", 80));
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(asked, Lines{"ddns.example"});
  EXPECT_EQ(recorder.lines, (Lines{"域名ddns.example解析失败", "connection terminal."}));
}

TEST_F(ClientTest, NameResolvedThroughLookupConnects) {
  ScriptServer server({ServerStep::Replying("HTTP/1.1 200 OK\r\n\r\n")});
  SocketClient client(recorder.log(), kPatient, Answering({"127.0.0.1", "10.255.255.1"}));
  EXPECT_EQ(Exchange(client, server, "ddns.example"), "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(asked, Lines{"ddns.example"});
  EXPECT_EQ(recorder.lines, (Lines{"Socket close...", "connection terminal."}));
}

TEST_F(ClientTest, SendsAndReceivesCodePage936) {
  ScriptServer server(
      {ServerStep::Replying("HTTP/1.1 200 OK\r\nRET-INFO: \xD3\xF2\xC3\xFB\r\n\r\n")});
  SocketClient client(recorder.log(), kPatient, NoLookupExpected);
  ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));
  EXPECT_EQ(client.SockSend("GET 中\r\n\r\n"), 10);
  EXPECT_EQ(client.SockReceive(), "HTTP/1.1 200 OK\r\nRET-INFO: 域名\r\n\r\n");
  client.SockClose();
  EXPECT_EQ(server.requests(), Lines{"GET \xD6\xD0\r\n\r\n"});
}

TEST_F(ClientTest, LocalAddressIsTheFirstOfTheHostName) {
  const struct {
    Lines addresses;
    std::string address;
    Lines lines;
  } cases[] = {
      {{"10.1.2.3", "10.9.9.9"}, "10.1.2.3", {"本机IP地址:10.1.2.3"}},
      {{}, "", {"域名" + HostName() + "解析失败", "本机IP地址:"}},
  };
  for (const auto& c : cases) {
    recorder.lines.clear();
    asked.clear();
    SocketClient client(recorder.log(), kPatient, Answering(c.addresses));
    EXPECT_EQ(client.LocalAddress(), c.address);
    EXPECT_EQ(asked, Lines{HostName()});
    EXPECT_EQ(recorder.lines, c.lines);
  }
}

TEST(DottedAddressTest, Table) {
  const std::pair<std::string_view, bool> cases[] = {
      {"10.0.0.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"10.0.0", false},
      {"10.0.0.1.5", false},
      {"10.0.0.256", false},
      {"a.b.c.d", false},
      {"10..0.1", false},
      {"", false},
      {"1.2.3.", false},
      {".1.2.3", false},
      {" 1.2.3.4", false},
      {"1.2.3.4 ", false},
      {"1.2.3.-4", false},
      {"1.2.3.+4", false},
      {"99999999999.1.1.1", false},
      {"1.2.3.4\n", false},
  };
  for (const auto& [text, dotted] : cases)
    EXPECT_EQ(IsDottedAddress(text), dotted) << '"' << text << '"';
}

}  // namespace
}  // namespace quorvix
