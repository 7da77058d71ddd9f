#include "protocol/outcomes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_reply.h"
#include "support/log_recorder.h"

namespace quorvix {
namespace {

using quorvix::testing::HttpReply;
using quorvix::testing::LogRecorder;

struct Line {
  std::string text;
  bool verboseOnly;
};
constexpr bool kVerbose = true;
constexpr bool kAlways = false;

std::string Ok(std::vector<std::string> valueLines) { return HttpReply(valueLines); }
std::string Status(std::string_view statusLine, std::vector<std::string> valueLines) {
  return HttpReply(valueLines, statusLine);
}

// Runs an outcome once with verbose logging on and once with it off: the result, and exactly
// the lines the user sees each way. `run` checks the state it was given itself.
template <typename Run>
void ExpectOutcome(bool ok, const std::vector<Line>& lines, Run run) {
  for (const bool verbose : {true, false}) {
    SCOPED_TRACE(verbose ? "verbose" : "quiet");
    ProgramState state;
    LogRecorder recorder(state, verbose);
    EXPECT_EQ(run(state, recorder.log()), ok);
    std::vector<std::string> visible;
    for (const Line& line : lines) {
      if (verbose || !line.verboseOnly) visible.push_back(line.text);
    }
    EXPECT_EQ(recorder.lines, visible);
  }
}

struct UpdateCase {
  std::string name;
  bool stop;
  std::string reply;
  bool ok;
  std::vector<Line> lines;
};

std::vector<UpdateCase> UpdateCases() {
  const std::string mixed = "RET-DMLIST: alpha|200,beta|500bad,";
  return {
      {"StartEmpty", false, "", false, {{"_START命令,服务器未返回数据", kVerbose}}},
      {"StopEmpty", true, "", false, {{"_STOP命令,服务器未返回数据", kVerbose}}},
      {"StartStatus404",
       false,
       Status("HTTP/1.1 404 Not Found", {"RET-CODE: 200", "RET-DMLIST: alpha|200,"}),
       false,
       {{"_START命令,服务器错误", kVerbose}}},
      {"StopNoStatusLine",
       true,
       "RET-CODE: 200\r\nRET-DMLIST: alpha|200,\r\n",
       false,
       {{"_STOP命令,服务器错误", kVerbose}}},
      {"StartEmptyList",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: "}),
       false,
       {{"结果返回有误,域名列表为空", kVerbose}}},
      {"StopNoList", true, Ok({"RET-CODE: 200"}), false, {{"结果返回有误,域名列表为空", kVerbose}}},
      {"StartMixed",
       false,
       Ok({"RET-CODE: 200", mixed}),
       true,
       {{"域名alpha动态解析成功", kAlways}, {"域名beta动态解析失败,bad", kAlways}}},
      {"StopMixed",
       true,
       Ok({"RET-CODE: 200", mixed}),
       true,
       {{"域名alpha停止解析成功", kAlways}, {"域名beta停止解析失败,ad", kAlways}}},
      // A result is its three-digit code, then any text.
      {"StartSuccessWithText",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: alpha|200 ok,b|2000"}),
       true,
       {{"域名alpha动态解析成功", kAlways}, {"域名b动态解析成功", kAlways}}},
      {"StartChineseText",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: 中文.cn|500坏了"}),
       true,
       {{"域名中文.cn动态解析失败,坏了", kAlways}}},
      {"StopChineseText",
       true,
       Ok({"RET-CODE: 200", "RET-DMLIST: 中文.cn|500坏了"}),
       true,
       {{"域名中文.cn停止解析失败,了", kAlways}}},
      {"StartAllFailed",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: a|501x,b|20"}),
       true,
       {{"域名a动态解析失败,x", kAlways}, {"域名b动态解析失败,", kAlways}}},
      {"StartItemsWithoutBarSkipped",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: alpha,,beta|200,gamma"}),
       true,
       {{"域名beta动态解析成功", kAlways}}},
      {"StartOnlyItemsWithoutBar",
       false,
       Ok({"RET-CODE: 200", "RET-DMLIST: alpha,beta"}),
       true,
       {}},
      {"StartCode300",
       false,
       Ok({"RET-CODE: 300", "RET-DMLIST: alpha|200,"}),
       false,
       {{"域名alpha动态解析失败,", kAlways}}},
      {"StopCode300",
       true,
       Ok({"RET-CODE: 300", "RET-DMLIST: alpha|200x,"}),
       false,
       {{"域名alpha停止解析失败,x", kAlways}}},
      {"StartCode500",
       false,
       Ok({"RET-CODE: 500", "RET-INFO: 签名错误", "RET-DMLIST: alpha|200,"}),
       false,
       {{"动态解析域名失败,结果:签名错误", kAlways}}},
      {"StopCode500NoList",
       true,
       Ok({"RET-CODE: 500", "RET-INFO: bad"}),
       false,
       {{"停止解析域名失败,结果:bad", kAlways}}},
      {"StartCode300EmptyList", false, Ok({"RET-CODE: 300"}), false, {}},
      {"StopNoCode",
       true,
       Ok({"RET-DMLIST: alpha|500oops"}),
       false,
       {{"域名alpha停止解析失败,oops", kAlways}}},
  };
}

TEST(OutcomesTest, StartAndStop) {
  for (const UpdateCase& c : UpdateCases()) {
    SCOPED_TRACE(c.name);
    ExpectOutcome(c.ok, c.lines, [&](ProgramState&, EventLog& log) {
      return c.stop ? OnStopReply(c.reply, log) : OnStartReply(c.reply, log);
    });
  }
}

struct GetIpCase {
  std::string name;
  std::string reply;
  bool ok;
  std::vector<Line> lines;
  std::string publicIp;  // afterwards; "old" before
};

std::vector<GetIpCase> GetIpCases() {
  const Line failed{"获取本机公网IP失败,返回为空", kVerbose};
  return {
      {"Empty", "", false, {failed}, "old"},
      {"Status500",
       Status("HTTP/1.1 500 Oops", {"RET-CODE: 200", "Y-IP: 1.2.3.4"}),
       false,
       {failed},
       "old"},
      {"Code300", Ok({"RET-CODE: 300", "Y-IP: 1.2.3.4"}), false, {}, "old"},
      {"NoCode", Ok({"Y-IP: 1.2.3.4"}), false, {}, "old"},
      {"Success",
       Ok({"RET-CODE: 200", "Y-IP: 1.2.3.4"}),
       true,
       {{"获取本机公网IP成功,IP地址是:1.2.3.4", kAlways}},
       "1.2.3.4"},
      {"SuccessWithoutAddress",
       Ok({"RET-CODE: 200"}),
       true,
       {{"获取本机公网IP成功,IP地址是:", kAlways}},
       ""},
  };
}

TEST(OutcomesTest, GetIp) {
  for (const GetIpCase& c : GetIpCases()) {
    SCOPED_TRACE(c.name);
    ExpectOutcome(c.ok, c.lines, [&](ProgramState& state, EventLog& log) {
      state.publicIp = "old";
      const bool ok = OnGetIpReply(c.reply, state, log);
      EXPECT_EQ(state.publicIp, c.publicIp);
      return ok;
    });
  }
}

struct GetVerCase {
  std::string name;
  std::string reply;
  bool ok;
  std::vector<Line> lines;
  std::int16_t major;  // afterwards; 3 and 4 before
  std::int16_t minor;
};

std::vector<GetVerCase> GetVerCases() {
  const Line failed{"获取版本号失败", kVerbose};
  const auto version = [](std::string major, std::string minor) {
    return Ok({"RET-CODE: 200", "Major: " + major, "Minor: " + minor});
  };
  return {
      {"Empty", "", false, {failed}, 3, 4},
      {"Status404",
       Status("HTTP/1.1 404 Not Found", {"RET-CODE: 200", "Major: 1", "Minor: 10"}),
       false,
       {failed},
       3,
       4},
      {"Success", version("1", "10"), true, {}, 1, 10},
      {"SuccessLimits", version("-32768", "32767"), true, {}, -32768, 32767},
      {"MajorLetters", version("abc", "10"), false, {failed}, 3, 4},
      {"MajorEmpty", version("", "10"), false, {failed}, 3, 4},
      {"MajorTooBig", version("99999", "10"), false, {failed}, 3, 4},
      {"MajorFraction", version("1.5", "10"), false, {failed}, 3, 4},
      {"MinorBadKeepsMajor", version("1", "x"), false, {failed}, 3, 4},
      {"MinorMissing", Ok({"RET-CODE: 200", "Major: 1"}), false, {failed}, 3, 4},
      {"Code300", Ok({"RET-CODE: 300", "Major: 1", "Minor: 10"}), false, {}, 3, 4},
  };
}

TEST(OutcomesTest, GetVer) {
  for (const GetVerCase& c : GetVerCases()) {
    SCOPED_TRACE(c.name);
    ExpectOutcome(c.ok, c.lines, [&](ProgramState& state, EventLog& log) {
      state.serverMajor = 3;
      state.serverMinor = 4;
      const bool ok = OnGetVerReply(c.reply, state, log);
      EXPECT_EQ(state.serverMajor, c.major);
      EXPECT_EQ(state.serverMinor, c.minor);
      return ok;
    });
  }
}

}  // namespace
}  // namespace quorvix
