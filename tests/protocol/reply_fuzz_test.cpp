// Random and truncated replies through the parsers and every outcome: nothing may crash or throw
// (this runs under AddressSanitizer), and what the outcomes report must agree with the parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "protocol/outcomes.h"
#include "protocol/reply_parse.h"
#include "support/http_reply.h"
#include "support/log_recorder.h"

namespace quorvix {
namespace {

using quorvix::testing::HttpReply;

std::vector<std::string> RealReplies() {
  return {
      HttpReply({"RET-CODE: 200", "RET-DMLIST: alpha|200,beta|500坏了,"}),
      HttpReply({"RET-CODE: 200", "Y-IP: 1.2.3.4"}),
      HttpReply({"RET-CODE: 200", "Major: 1", "Minor: 10"}),
      HttpReply({"RET-CODE: 500", "RET-INFO: 签名错误", "RET-DMLIST: alpha|200,"}),
      HttpReply({"RET-CODE: 300", "RET-DMLIST: alpha|200x,"}),
  };
}

// Pieces that the parsers look for, so that random replies are not all plain noise.
constexpr std::string_view kTokens[] = {
    ":",    "|",     ",",     " ",  "200",  "RET-CODE", "RET-DMLIST",          "RET-INFO",
    "Y-IP", "Major", "Minor", "中", "\xD6", "\r\n",     "HTTP/1.1 200 OK\r\n", "\r\n\r\n"};

std::size_t ItemsWithBar(std::string_view list) {
  std::size_t count = 0;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    if (list.substr(start, comma - start).find('|') != std::string_view::npos) ++count;
    start = comma + 1;
  }
  return count;
}

class ReplyFuzz : public ::testing::Test {
 protected:
  // Every outcome is seen succeeding and failing, or the inputs are too tame to mean much.
  void ExpectBothResultsSeen() const {
    for (std::size_t i = 0; i < seen_.size(); ++i) {
      EXPECT_TRUE(seen_[i][0] && seen_[i][1]) << "outcome " << i << " seen only one way";
    }
  }

  void Check(const std::string& reply) {
    const std::int16_t status = ReplyStatusCode(reply);
    if (status != kNoStatus) {
      // Only a CR LF-ended first line of three blank-separated fields has a status.
      const std::size_t end = reply.find("\r\n");
      ASSERT_NE(end, std::string::npos);
      EXPECT_EQ(std::count(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(end), ' '),
                2);
    }
    std::array<std::string, 6> values;
    const std::array<std::string_view, 6> names = {"RET-CODE", "RET-DMLIST", "RET-INFO",
                                                   "Y-IP",     "Major",      "Minor"};
    for (std::size_t i = 0; i < names.size(); ++i) {
      values[i] = ReplyHeader(reply, names[i]);
      EXPECT_EQ(values[i].find("\r\n"), std::string::npos);
      if (!values[i].empty()) {
        EXPECT_NE(values[i].front(), ' ');
        EXPECT_NE(values[i].back(), ' ');
      }
    }
    const std::string& code = values[0];
    const std::string& list = values[1];
    const bool accepted = status == 200 && code == "200";

    bool updateOk[2] = {};
    for (const bool stop : {false, true}) {
      recorder_.lines.clear();
      const bool ok =
          stop ? OnStopReply(reply, recorder_.log()) : OnStartReply(reply, recorder_.log());
      updateOk[stop] = ok;
      seen_[stop][ok] = true;
      if (ok) {
        EXPECT_TRUE(accepted && !list.empty());
        EXPECT_EQ(recorder_.lines.size(), ItemsWithBar(list));
        for (const std::string& line : recorder_.lines) EXPECT_EQ(line.rfind("域名", 0), 0u);
      } else {
        EXPECT_LE(recorder_.lines.size(), std::max<std::size_t>(ItemsWithBar(list), 1));
      }
    }
    EXPECT_EQ(updateOk[0], updateOk[1]);

    state_.publicIp = "unchanged";
    recorder_.lines.clear();
    const bool ipOk = OnGetIpReply(reply, state_, recorder_.log());
    seen_[2][ipOk] = true;
    EXPECT_EQ(ipOk, accepted);
    EXPECT_EQ(state_.publicIp, ipOk ? values[3] : "unchanged");
    EXPECT_LE(recorder_.lines.size(), 1u);

    state_.serverMajor = 7;
    state_.serverMinor = 8;
    const bool verOk = OnGetVerReply(reply, state_, recorder_.log());
    seen_[3][verOk] = true;
    std::int16_t major = 7;
    std::int16_t minor = 8;
    const bool numbers = ParseInt16(values[4], major) && ParseInt16(values[5], minor);
    EXPECT_EQ(verOk, accepted && numbers);
    EXPECT_EQ(state_.serverMajor, verOk ? major : 7);
    EXPECT_EQ(state_.serverMinor, verOk ? minor : 8);
  }

  ProgramState state_;
  testing::LogRecorder recorder_{state_};
  std::array<std::array<bool, 2>, 4> seen_{};  // START, STOP, GETIP, GETVER x failed, succeeded
};

TEST_F(ReplyFuzz, EveryTruncationOfRealReplies) {
  for (const std::string& reply : RealReplies()) {
    for (std::size_t length = 0; length <= reply.size() && !HasFailure(); ++length) {
      SCOPED_TRACE(::testing::PrintToString(reply.substr(0, length)));
      Check(reply.substr(0, length));
    }
  }
  ExpectBothResultsSeen();
}

TEST_F(ReplyFuzz, RandomReplies) {
  std::mt19937 random(20080612);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const std::vector<std::string> real = RealReplies();
  const auto token = [&] { return std::string(kTokens[below(std::size(kTokens))]); };
  for (int input = 0; input < 3000 && !HasFailure(); ++input) {
    const std::size_t length = below(2001);
    std::string reply;
    if (input % 3 == 0) {
      // A real reply with a few random edits, to reach the success paths too.
      reply = real[below(real.size())];
      for (std::size_t edits = below(4); edits > 0; --edits) {
        const std::size_t at = below(reply.size() + 1);
        switch (below(3)) {
          case 0:
            reply.insert(at, token());
            break;
          case 1:
            reply.erase(at, below(8));
            break;
          default:
            if (at < reply.size()) reply[at] = static_cast<char>(below(256));
        }
      }
    } else {
      if (input % 3 == 1) reply = "HTTP/1.1 200 OK\r\n";
      while (reply.size() < length) {
        reply += below(3) == 0 ? std::string(1, static_cast<char>(below(256))) : token();
      }
      reply.resize(length);
    }
    SCOPED_TRACE("input " + std::to_string(input) + ": " + ::testing::PrintToString(reply));
    Check(reply);
  }
  ExpectBothResultsSeen();
}

}  // namespace
}  // namespace quorvix
