#include "net/socket_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "net/dotted_address.h"
#include "support/log_recorder.h"
#include "support/script_server.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using testing::ServerStep;
using Kind = ServerStep::Kind;
using Lines = std::vector<std::string>;

// A GBK character cut between writes; a drip, or a part then silence, ends at the overall limit,
// not the longer reply wait; data queued ahead of a reset comes first; the size cap.
TEST(SocketClient, ReceivesTheWholeReplyUntilCloseLimitOrError) {
  const SocketLimits patient{1s, 20s}, quick{300ms, 400ms}, capped{1s, 20s, 1500};
  const std::string ok = testing::HttpReply({"RET-CODE: 200"}), closed = "Socket close...",
                    late = "Socket read time out,Time=120";
  const std::string below(1499, 'x');  // the size cap less one
  Lines drip;
  for (const char c : ok) drip.emplace_back(1, c);
  const struct {
    SocketLimits limits;
    ServerStep step;
    std::string reply, line;  // the reply in UTF-8 (for the drip, a part), the last line but one
  } cases[] = {
      {patient,
       ServerStep::Of(Kind::Reply, {"HTTP/1.1 2", "00 OK\r\nX: \xD3", "\xF2\xC3\xFB"}, 20ms),
       "HTTP/1.1 200 OK\r\nX: 域名", closed},
      {patient, ServerStep::Of(Kind::CloseAtOnce), "", closed},
      {quick, ServerStep::Of(Kind::Hold), "", "Socket Time out,Time=120"},
      {quick, ServerStep::Of(Kind::Hold, drip, 50ms), ok, late},
      {{5s, 400ms}, ServerStep::Of(Kind::Hold, {ok}), ok, late},
      {patient, ServerStep::Of(Kind::Reset, {ok}), ok, "ERROR:104"},
      {patient, ServerStep::Replying(std::string(3 << 20, 'x')), std::string(1 << 20, 'x'),
       "Socket reply too long,Limit=1048576"},
      {capped, ServerStep::Replying(below), below, closed},
      {capped, ServerStep::Replying(below + "yy"), below + "y",
       "Socket reply too long,Limit=1500"}};
  ProgramState state;
  testing::LogRecorder recorder(state);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + " " + std::to_string(c.reply.size()));
    recorder.lines.clear();
    testing::ScriptServer server({c.step});
    SocketClient client(recorder.log(), c.limits, [](const std::string&) { return Lines{}; });
    ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));  // never looked up
    EXPECT_EQ(client.SockSend("GET / HTTP/1.0\r\n\r\n"), 18);
    const std::string reply = client.SockReceive();
    client.SockClose();
    const bool dripped = c.step.chunks.size() > 3;  // one byte a write
    EXPECT_EQ(reply, dripped ? c.reply.substr(0, reply.size()) : c.reply);
    EXPECT_TRUE(!dripped || (!reply.empty() && reply.size() < c.reply.size())) << reply.size();
    EXPECT_EQ(recorder.lines, (Lines{c.line, "connection terminal."}));
    EXPECT_EQ(server.requests(), Lines{"GET / HTTP/1.0\r\n\r\n"});
  }
}

// A late first byte, then a drip: the wait for the first byte counts against the one limit.
TEST(SocketClient, OneLimitCoversTheWholeExchange) {
  ProgramState state;
  testing::LogRecorder recorder(state);
  testing::ScriptServer server({ServerStep::Of(Kind::Hold, {"H", "T"}, 1s)});
  SocketClient client(recorder.log(), {1500ms, 1500ms}, [](const std::string&) { return Lines{}; });
  ASSERT_TRUE(client.SockConnect("127.0.0.1", server.port()));
  client.SockSend("GET / HTTP/1.0\r\n\r\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.SockReceive(), "H");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2200ms);  // both one after the other: 2.5 s
  client.SockClose();
}

// Names go through the lookup, text through code page 936; nothing is left open.
TEST(SocketClient, NamesTextAndFailedConnects) {
  ProgramState state;
  testing::LogRecorder recorder(state);
  Lines answer, asked;
  const auto lookup = [&](const std::string& name) {
    asked.push_back(name);
    return answer;
  };
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  const auto descriptors = [] {
    return std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd"));
  };
  const auto before = descriptors();
  {
    SocketClient client(recorder.log(), {1s, 20s}, lookup);
    EXPECT_FALSE(client.SockConnect("127.0.0.1", testing::UnusedPort()) ||
                 client.SockConnect("nowhere.example", 80));
    EXPECT_EQ(descriptors(), before);
    testing::ScriptServer server(
        {ServerStep::Replying("HTTP/1.1 200 OK\r\nX: \xD3\xF2\xC3\xFB\r\n")});
    answer = {"127.0.0.1", "10.255.255.1"};
    ASSERT_TRUE(client.SockConnect("ddns.example", server.port()));
    EXPECT_EQ(client.SockSend("GET 中\r\n\r\n"), 10);
    EXPECT_EQ(client.SockReceive(), "HTTP/1.1 200 OK\r\nX: 域名\r\n");
    EXPECT_EQ(client.LocalAddress(), "127.0.0.1");  // the first address of the host name
    EXPECT_EQ(server.requests().at(0), "GET \xD6\xD0\r\n\r\n");
  }
  EXPECT_EQ(descriptors(), before);
  EXPECT_EQ(asked, (Lines{"nowhere.example", "ddns.example", host}));
  EXPECT_EQ(recorder.lines,
            (Lines{"connect error,ErrorInfo:111", "域名nowhere.example解析失败",
                   "connection terminal.", "Socket close...", "本机IP地址:127.0.0.1"}));
  for (const char* text : {"255.255.255.255", "0.0.0.0"}) EXPECT_TRUE(IsDottedAddress(text));
  for (const char* text : {"10.0.0", "10.0.0.1.5", "10.0.0.256", "a.b.c.d", "10..0.1", "", "1.2.3.",
                           ".1.2.3", "1.2.3.4 ", "1.2.3.+4", "99999999999.1.1.1"}) {
    EXPECT_FALSE(IsDottedAddress(text)) << text;
  }
}

}  // namespace
}  // namespace quorvix
