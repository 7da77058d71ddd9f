#include <gtest/gtest.h>

#include "protocol/outcomes.h"
#include "protocol/reply_parse.h"
#include "support/http_reply.h"
#include "support/log_recorder.h"

namespace quorvix {
namespace {

using testing::HttpReply;

// A status only on a CR LF-ended first line of three fields, one blank apart, the second a
// 16-bit number. A header is found anywhere, its name in any case; only blanks are trimmed.
TEST(ReplyParse, StatusCodeAndHeader) {
  EXPECT_EQ(ReplyStatusCode("HTTP/1.0 200 OK\r\nRET-CODE: 500\r\n"), 200);
  EXPECT_EQ(ReplyStatusCode("HTTP/1.1 -5 OK\r\n"), -5);
  for (const char* reply :
       {"HTTP/1.1 404 Not Found\r\n", "HTTP/1.1 200\r\n", "HTTP/1.1  200 OK\r\n",
        "HTTP/1.1 200  OK\r\n", "HTTP/1.1 200 OK \r\n", "HTTP/1.1 200 OK\n", "HTTP/1.1 200 OK",
        "HTTP/1.1 65736 OK\r\n", "garbage\r\nHTTP/1.1 200 OK\r\n"}) {
    EXPECT_EQ(ReplyStatusCode(reply), kNoStatus) << reply;
  }
  const std::tuple<std::string, std::string_view, std::string_view> headers[] = {
      {"HTTP/1.1 200 OK\r\nret-code: 200\r\n", "RET-Code", "200"},
      {"RET-CODE:   2 0 0  \r\n", "RET-CODE", "2 0 0"},
      {"RET-CODE:    \r\n", "RET-CODE", ""},
      {"RET-CODE: 200", "RET-CODE", ""},
      {"RET-CODE: 200\nY-IP: 1.1.1.1\r\n", "RET-CODE", "200\nY-IP: 1.1.1.1"},
      {"XY-IP: 1.1.1.1\r\nY-IP: 2.2.2.2\r\n", "Y-IP", "1.1.1.1"},
      {"HTTP/1.1 200 OK\r\n\r\nY-IP: 3.3.3.3\r\n", "Y-IP", "3.3.3.3"},
      {"HTTP/1.1 200 OK\r\nRET-CODE 200\r\n", "RET-CODE", ""}};
  for (const auto& [reply, name, value] : headers) {
    EXPECT_EQ(ReplyHeader(reply, name), value) << name << " in " << reply.substr(0, 50);
  }
}

// The value is left untouched on failure; a malformed byte counts as one character.
TEST(ReplyParse, ParseInt16AndTextFromCharacter) {
  const std::pair<const char*, int> numbers[] = {
      {"+7", 7},        {"007", 7},      {"32767", 32767}, {"-32768", -32768}, {"32768", 1234},
      {"-32769", 1234}, {"65537", 1234}, {"", 1234},       {"-", 1234},        {"--1", 1234}};
  for (const auto& [text, expected] : numbers) {
    std::int16_t value = 1234;
    EXPECT_EQ(ParseInt16(text, value), expected != 1234) << text;
    EXPECT_EQ(value, expected) << text;
  }
  EXPECT_EQ(TextFromCharacter("\xFF\xFEok", 3) + TextFromCharacter("500坏了", 0), "ok500坏了");
  // A four-byte character is one; F5 starts none.
  EXPECT_EQ(TextFromCharacter("\xF0\x9F\x98\x80"
                              "a\xF5\x80\x80\x80ok",
                              4),
            "\x80\x80\x80ok");
}

std::string Ok(const std::vector<std::string>& valueLines) { return HttpReply(valueLines); }

// Verbose logging on and off, from publicIp "old" and version 3.4. A RET-DMLIST item without
// "|" is skipped; a result is a code, then text from character 4 (START) or 5 (STOP) with
// RET-CODE 200, the reverse otherwise; it is not trimmed (" 200" fails).
TEST(Outcomes, Table) {
  const std::string list = "RET-DMLIST: junk,a|200 ok,,b|500坏了,c|20",
                    failed = "RET-DMLIST: a|200x,b|500坏了", notFound = "HTTP/1.1 404 Not Found",
                    version = "获取版本号失败\n";
  const struct {
    std::string_view command;
    std::string reply;
    bool ok, verboseOnly;  // verbose-only lines are missed by a user with verbose logging off
    std::string lines;     // every line written, each ended by '\n'
    std::string after = "old 3.4";  // publicIp, serverMajor.serverMinor afterwards
  } cases[] = {
      {"START", "", false, true, "_START命令,服务器未返回数据\n"},
      {"STOP", "", false, true, "_STOP命令,服务器未返回数据\n"},
      {"START", HttpReply({"RET-CODE: 200", list}, notFound), false, true,
       "_START命令,服务器错误\n"},
      {"STOP", "RET-CODE: 200\r\n" + list + "\r\n", false, true, "_STOP命令,服务器错误\n"},
      {"START", Ok({"RET-CODE: 200", "RET-DMLIST: "}), false, true, "结果返回有误,域名列表为空\n"},
      {"START", Ok({"RET-CODE: 200", list}), true, false,
       "域名a动态解析成功\n域名b动态解析失败,坏了\n域名c动态解析失败,\n"},
      {"STOP", Ok({"RET-CODE: 200", list}), true, false,
       "域名a停止解析成功\n域名b停止解析失败,了\n域名c停止解析失败,\n"},
      // Every domain failed: the command failed.
      {"START", Ok({"RET-CODE: 200", "RET-DMLIST: a| 200,"}), false, false,
       "域名a动态解析失败,0\n"},
      {"STOP", Ok({"RET-CODE: 200", "RET-DMLIST: a| 200,"}), false, false, "域名a停止解析失败,\n"},
      {"START", Ok({"RET-CODE: 300", failed}), false, false,
       "域名a动态解析失败,\n域名b动态解析失败,了\n"},
      {"STOP", Ok({"RET-CODE: 300", failed}), false, false,
       "域名a停止解析失败,x\n域名b停止解析失败,坏了\n"},
      {"START", Ok({"RET-CODE: 500", "RET-INFO: 签名错误", list}), false, false,
       "动态解析域名失败,结果:签名错误\n"},
      {"STOP", Ok({"RET-CODE: 500", "RET-INFO: bad"}), false, false, "停止解析域名失败,结果:bad\n"},
      {"GETIP", "", false, true, "获取本机公网IP失败,返回为空\n"},
      {"GETIP", Ok({"RET-CODE: 300", "Y-IP: 1.2.3.4"}), false, false, ""},
      {"GETIP", Ok({"RET-CODE: 200", "Y-IP: 1.2.3.4"}), true, false,
       "获取本机公网IP成功,IP地址是:1.2.3.4\n", "1.2.3.4 3.4"},
      {"GETIP", Ok({"RET-CODE: 200"}), true, false, "获取本机公网IP成功,IP地址是:\n", " 3.4"},
      {"GETVER", HttpReply({"RET-CODE: 200", "Major: 1", "Minor: 10"}, notFound), false, true,
       version},
      {"GETVER", Ok({"RET-CODE: 200", "Major: 1", "Minor: 10"}), true, false, "", "old 1.10"},
      {"GETVER", Ok({"RET-CODE: 200", "Major: abc", "Minor: 10"}), false, true, version},
      {"GETVER", Ok({"RET-CODE: 200", "Major: 1", "Minor: x"}), false, true, version},
      {"GETVER", Ok({"RET-CODE: 300", "Major: 1", "Minor: 10"}), false, false, ""}};
  for (const auto& c : cases) {
    for (const bool verbose : {true, false}) {
      SCOPED_TRACE(std::string(c.command) + (verbose ? " verbose " : " quiet ") + c.reply);
      ProgramState state;
      state.publicIp = "old";
      state.serverMajor = 3;
      state.serverMinor = 4;
      testing::LogRecorder recorder(state, verbose);
      EventLog& log = recorder.log();
      EXPECT_EQ(c.command == "START"   ? OnStartReply(c.reply, log)
                : c.command == "STOP"  ? OnStopReply(c.reply, log)
                : c.command == "GETIP" ? OnGetIpReply(c.reply, state, log)
                                       : OnGetVerReply(c.reply, state, log),
                c.ok);
      std::string lines;
      for (const std::string& line : recorder.lines) lines += line + "\n";
      EXPECT_EQ(lines, verbose || !c.verboseOnly ? c.lines : "");
      EXPECT_EQ(state.publicIp + " " + std::to_string(state.serverMajor) + "." +
                    std::to_string(state.serverMinor),
                c.after);
    }
  }
}

}  // namespace
}  // namespace quorvix
