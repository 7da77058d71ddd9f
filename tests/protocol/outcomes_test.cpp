#include "protocol/outcomes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_reply.h"
#include "support/log_recorder.h"

namespace quorvix {
namespace {

using quorvix::testing::HttpReply;

std::string Ok(const std::vector<std::string>& valueLines) { return HttpReply(valueLines); }

struct Case {
  std::string_view command;
  std::string reply;
  bool ok;
  bool verboseOnly;   // the lines are verbose ones, which a user with verbose logging off misses
  std::string lines;  // every line written, each ended by '\n'
  std::string after = "old 3.4";  // publicIp, serverMajor.serverMinor afterwards
};

// Runs each case with verbose logging on and off, from publicIp "old" and version 3.4.
void ExpectOutcomes(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    for (const bool verbose : {true, false}) {
      SCOPED_TRACE(std::string(c.command) + (verbose ? " verbose " : " quiet ") + c.reply);
      ProgramState state;
      state.publicIp = "old";
      state.serverMajor = 3;
      state.serverMinor = 4;
      testing::LogRecorder recorder(state, verbose);
      EventLog& log = recorder.log();
      const bool ok = c.command == "START"   ? OnStartReply(c.reply, log)
                      : c.command == "STOP"  ? OnStopReply(c.reply, log)
                      : c.command == "GETIP" ? OnGetIpReply(c.reply, state, log)
                                             : OnGetVerReply(c.reply, state, log);
      EXPECT_EQ(ok, c.ok);
      std::string lines;
      for (const std::string& line : recorder.lines) lines += line + "\n";
      EXPECT_EQ(lines, verbose || !c.verboseOnly ? c.lines : "");
      EXPECT_EQ(state.publicIp + " " + std::to_string(state.serverMajor) + "." +
                    std::to_string(state.serverMinor),
                c.after);
    }
  }
}

TEST(OutcomesTest, StartAndStop) {
  // Items without "|" are skipped; a result is its three-digit code, then any text. With
  // RET-CODE 200 the text starts at character 4 for START and 5 for STOP; otherwise the reverse.
  const std::string list = "RET-DMLIST: junk,a|200 ok,,b|500坏了,c|20";
  const std::string failed = "RET-DMLIST: a|200x,b|500坏了";
  ExpectOutcomes({
      {"START", "", false, true, "_START命令,服务器未返回数据\n"},
      {"STOP", "", false, true, "_STOP命令,服务器未返回数据\n"},
      {"START", HttpReply({"RET-CODE: 200", list}, "HTTP/1.1 404 Not Found"), false, true,
       "_START命令,服务器错误\n"},
      {"STOP", "RET-CODE: 200\r\n" + list + "\r\n", false, true, "_STOP命令,服务器错误\n"},
      {"START", Ok({"RET-CODE: 200", "RET-DMLIST: "}), false, true, "结果返回有误,域名列表为空\n"},
      {"START", Ok({"RET-CODE: 200", list}), true, false,
       "域名a动态解析成功\n域名b动态解析失败,坏了\n域名c动态解析失败,\n"},
      {"STOP", Ok({"RET-CODE: 200", list}), true, false,
       "域名a停止解析成功\n域名b停止解析失败,了\n域名c停止解析失败,\n"},
      {"START", Ok({"RET-CODE: 300", failed}), false, false,
       "域名a动态解析失败,\n域名b动态解析失败,了\n"},
      {"STOP", Ok({"RET-CODE: 300", failed}), false, false,
       "域名a停止解析失败,x\n域名b停止解析失败,坏了\n"},
      {"START", Ok({"RET-CODE: 500", "RET-INFO: 签名错误", list}), false, false,
       "动态解析域名失败,结果:签名错误\n"},
      {"STOP", Ok({"RET-CODE: 500", "RET-INFO: bad"}), false, false, "停止解析域名失败,结果:bad\n"},
  });
}

TEST(OutcomesTest, GetIp) {
  const std::string failed = "获取本机公网IP失败,返回为空\n";
  ExpectOutcomes({
      {"GETIP", "", false, true, failed},
      {"GETIP", Ok({"RET-CODE: 300", "Y-IP: 1.2.3.4"}), false, false, ""},
      {"GETIP", Ok({"RET-CODE: 200", "Y-IP: 1.2.3.4"}), true, false,
       "获取本机公网IP成功,IP地址是:1.2.3.4\n", "1.2.3.4 3.4"},
      {"GETIP", Ok({"RET-CODE: 200"}), true, false, "获取本机公网IP成功,IP地址是:\n", " 3.4"},
  });
}

TEST(OutcomesTest, GetVer) {
  const auto version = [](std::string major, std::string minor) {
    return Ok({"RET-CODE: 200", "Major: " + major, "Minor: " + minor});
  };
  // A Major or Minor that is no 16-bit number keeps both old values.
  const std::string failed = "获取版本号失败\n";
  ExpectOutcomes({
      {"GETVER", HttpReply({"RET-CODE: 200", "Major: 1", "Minor: 10"}, "HTTP/1.1 404 Not Found"),
       false, true, failed},
      {"GETVER", version("1", "10"), true, false, "", "old 1.10"},
      {"GETVER", version("abc", "10"), false, true, failed},
      {"GETVER", version("1", "x"), false, true, failed},
      {"GETVER", Ok({"RET-CODE: 300", "Major: 1", "Minor: 10"}), false, false, ""},
  });
}

}  // namespace
}  // namespace quorvix
