// Random and truncated replies through the parsers and every outcome: nothing may crash or throw
// (this runs under AddressSanitizer), and what the outcomes report must agree with the parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/outcomes.h"
#include "protocol/reply_parse.h"
#include "support/http_reply.h"
#include "support/log_recorder.h"

namespace quorvix {
namespace {

using quorvix::testing::HttpReply;

const std::vector<std::string> kRealReplies = {
    HttpReply({"RET-CODE: 200", "RET-DMLIST: alpha|200,beta|500坏了,"}),
    HttpReply({"RET-CODE: 200", "Y-IP: 1.2.3.4", "Major: 1", "Minor: 10"}),
    HttpReply({"RET-CODE: 500", "RET-INFO: 签名错误", "RET-DMLIST: alpha|200,"}),
    HttpReply({"RET-CODE: 300", "RET-DMLIST: alpha|200x,"}),
};

// Pieces that the parsers look for, so that random replies are not all plain noise.
constexpr std::string_view kTokens[] = {
    ":",    "|",     ",",     " ",  "200",  "RET-CODE", "RET-DMLIST",          "RET-INFO",
    "Y-IP", "Major", "Minor", "中", "\xD6", "\r\n",     "HTTP/1.1 200 OK\r\n", "\r\n\r\n"};

std::size_t ItemsWithBar(const std::string& list) {
  std::size_t count = 0;
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) count += item.find('|') != item.npos;
  return count;
}

TEST(ReplyFuzz, OutcomesAgreeWithTheParsers) {
  ProgramState state;
  testing::LogRecorder recorder(state);
  EventLog& log = recorder.log();
  std::array<std::array<bool, 2>, 4> seen{};  // START, STOP, GETIP, GETVER x failed, succeeded
  const auto check = [&](const std::string& reply) {
    SCOPED_TRACE(::testing::PrintToString(reply));
    // Only a CR LF-ended first line of three blank-separated fields has a status.
    const std::int16_t status = ReplyStatusCode(reply);
    const std::string_view first = std::string_view(reply).substr(0, reply.find("\r\n"));
    EXPECT_TRUE(status == kNoStatus ||
                (first.size() < reply.size() && std::ranges::count(first, ' ') == 2));
    const std::string code = ReplyHeader(reply, "RET-CODE"),
                      list = ReplyHeader(reply, "RET-DMLIST"), ip = ReplyHeader(reply, "Y-IP"),
                      major = ReplyHeader(reply, "Major"), minor = ReplyHeader(reply, "Minor");
    for (const std::string& value : {code, list, ip, major, minor}) {
      EXPECT_EQ(value.find("\r\n"), std::string::npos);
      EXPECT_TRUE(value.empty() || (value.front() != ' ' && value.back() != ' '));
    }
    const bool accepted = status == 200 && code == "200";
    const std::size_t items = ItemsWithBar(list);
    for (const bool stop : {false, true}) {
      recorder.lines.clear();
      const bool ok = stop ? OnStopReply(reply, log) : OnStartReply(reply, log);
      seen[stop][ok] = true;
      EXPECT_EQ(ok, accepted && !list.empty());
      // One line per item with a "|" on success, at most one otherwise.
      const std::size_t count = recorder.lines.size();
      EXPECT_TRUE(ok ? count == items : count <= std::max<std::size_t>(items, 1)) << count;
      for (const std::string& line : recorder.lines) EXPECT_TRUE(!ok || line.starts_with("域名"));
    }
    state.publicIp = "old";
    state.serverMajor = 7;
    state.serverMinor = 8;
    recorder.lines.clear();
    const bool ipOk = OnGetIpReply(reply, state, log);
    seen[2][ipOk] = true;
    EXPECT_EQ(ipOk, accepted);
    EXPECT_EQ(state.publicIp, ipOk ? ip : "old");
    EXPECT_LE(recorder.lines.size(), 1u);
    const bool verOk = OnGetVerReply(reply, state, log);
    seen[3][verOk] = true;
    std::int16_t newMajor = 7, newMinor = 8;
    EXPECT_EQ(verOk, accepted && ParseInt16(major, newMajor) && ParseInt16(minor, newMinor));
    EXPECT_EQ(state.serverMajor, verOk ? newMajor : 7);
    EXPECT_EQ(state.serverMinor, verOk ? newMinor : 8);
  };
  for (const std::string& reply : kRealReplies) {
    for (std::size_t length = 0; length <= reply.size(); ++length) check(reply.substr(0, length));
  }
  // Real replies with a few random edits, to reach success too, and a status line followed by
  // hundreds of them.
  std::mt19937 random(20080612);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int input = 0; input < 1500 && !::testing::Test::HasFailure(); ++input) {
    std::string reply =
        input % 2 ? kRealReplies[below(kRealReplies.size())] : "HTTP/1.1 200 OK\r\n";
    for (std::size_t edits = below(input % 2 ? 4 : 600); edits > 0; --edits) {
      const std::size_t at = below(reply.size() + 1), how = below(4);
      if (how < 2) reply.insert(at, kTokens[below(std::size(kTokens))]);
      if (how == 2) reply.erase(at, below(8));
      if (how == 3) reply.insert(at, 1, static_cast<char>(below(256)));
    }
    check(reply);
  }
  // Every outcome is seen succeeding and failing, or the inputs are too tame to mean much.
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_TRUE(seen[i][0] && seen[i][1]) << "outcome " << i << " seen only one way";
  }
}

}  // namespace
}  // namespace quorvix
