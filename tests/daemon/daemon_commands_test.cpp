// The headless client's commands run in-process against the reference service on loopback:
// the settings dialog's rules on the command line, the exit statuses, what the service receives
// and what the user sees.
#include "headless/daemon_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "http/server.h"
#include "store/database.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

constexpr std::string_view kDemo = "demo.example.com";
// Distinctive, so that any leak of it into the output is found.
constexpr std::string_view kPassword = "Zebra-Quartz-7731";
constexpr const char* kDemoEntry = "demo.example.com|Zebra-Quartz-7731,";
const std::string kNoList = "出错信息: 请您输入需要动态解析的域名\n";
const std::string kResolved = "域名demo.example.com动态解析成功";

struct Outcome {
  int status = -1;
  std::string out, err;
};

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}
std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// The service with the demo account on an ephemeral loopback port, and the client's folders.
// Each command gets a fresh ClientSetup over the same folders, as separate runs would.
class DaemonTest : public ::testing::Test {
 protected:
  DaemonTest() { database.AddAccount(kDemo, kPassword); }

  Outcome Command(const Strings& args, const std::string& input = "") {
    ClientSetup setup = LoopbackSetup(dir, server.port(), std::chrono::seconds(5));
    setup.program = {"/opt/q", "quorvixddnsd"};
    setup.logFilePath = dir / "quorvixddnsd.log";
    std::istringstream in(input);
    std::ostringstream out, err;
    DaemonContext context{in, out, err, clock, std::move(setup)};
    const int status = RunDaemonCommand(args, context);
    return {status, out.str(), err.str()};
  }
  void StoreDomains(std::string_view list) {
    platform::PosixSettingsBackend backend({dir / "config", dir / "autostart"});
    ASSERT_EQ(backend.SetValue("domains", list), platform::SettingsBackend::Status::Ok);
  }
  std::string Stored(std::string_view name) const {
    return ReadFile(dir / ("config/" + std::string(name)));
  }
  // The commands the service received, in order.
  Strings Received() {
    std::lock_guard lock(mutex);
    Strings commands;
    for (const std::string& line : serviceLog) commands.push_back(line.substr(0, line.find(' ')));
    return commands;
  }

  TempDir serviceDir;
  service::Database database{serviceDir / "service.db"};
  std::mutex mutex;
  Strings serviceLog;
  service::Server server{database, service::ServerOptions{}, [this](const std::string& line) {
                           std::lock_guard lock(mutex);
                           serviceLog.push_back(line);
                         }};
  TempDir dir;
  FakeClock clock;
};

struct AddCase {
  const char* name;
  const char* stored;  // the list before
  std::string domain, password;
  int status;
  std::string shown;  // the refusal alone on standard error, or START's outcome on standard output
};

class Add : public DaemonTest, public ::testing::WithParamInterface<AddCase> {};

// A refusal changes nothing. Otherwise the domain is stored, whatever the update's outcome
// (`run` keeps trying it), and the status is 0: a second add would be refused.
TEST_P(Add, RefusesOrStoresAndSendsStart) {
  const AddCase& c = GetParam();
  if (*c.stored != '\0') StoreDomains(c.stored);
  const Outcome outcome = Command({"add", c.domain, "--password-stdin"}, c.password + "\n");
  const bool stored = c.status == 0;
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_EQ(outcome.err, stored ? "" : c.shown + "\n");
  EXPECT_TRUE(stored ? Has(outcome.out, "\t" + c.shown + "\n") : outcome.out.empty())
      << outcome.out;
  EXPECT_EQ(Stored("domains"), stored ? c.stored + c.domain + "|" + c.password + "," : c.stored);
  EXPECT_EQ(Received(), stored ? Strings{"START"} : Strings{});
}

const std::string kInvalid = "出错提示: 域名无效,请输入正确的域名";
const std::string kTooMany = "出错信息: 抱歉,您输入的域名过多!";

// The dialog's checks in its order: each of the first six cases holds two faults and gets the
// first. "demo.example.com|" + password + "," reaches 1000 characters, or 1024 bytes in the
// store ("是" takes three) with fewer characters.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Add, ::testing::Values(
    AddCase{"BadCharacterBeforePassword", "", "x_y.com", "", 1, kInvalid},
    AddCase{"TooShortBeforePassword", "", "a.", "", 1, kInvalid},
    AddCase{"PasswordBeforeDot", "", "localhost", "", 1, "出错提示: 请输入域名管理密码"},
    AddCase{"CommaBeforeDot", "", "localhost", "a,b", 1, "出错提示: 管理密码中不可含有逗号,请修改后再设置"},
    AddCase{"DotBeforeWww", "", "www", "pw", 1, kInvalid},
    AddCase{"WwwInAnyCaseBeforeDuplicate", "www.a.com|x,", "WWW.a.com", "pw", 1,
            "出错提示: 不能含有www.,假如您的域名是www.myhome.com,仅需填写myhome.com即可"},
    AddCase{"DuplicateInOtherCase", "a.com|x,", "A.com", "pw", 1, "出错提示: A.com已经存在"},
    AddCase{"Characters1000", "", "demo.example.com", std::string(982, 'p'), 1, kTooMany},
    AddCase{"Bytes1024", "", "demo.example.com", "p" + Repeat("是", 335), 1, kTooMany},
    AddCase{"Resolved", "a.com|x,", "demo.example.com", std::string(kPassword), 0, kResolved},
    AddCase{"Characters999", "", "demo.example.com", std::string(981, 'p'), 0,
            "域名demo.example.com动态解析失败,签名错误，请检查域名管理密码"},
    // Stored, but never signed: the service accepts ASCII passwords only.
    AddCase{"Bytes1023", "", "demo.example.com", Repeat("是", 335), 0,
            "域名demo.example.com签名失败,域名和密码只能包含英文字母、数字和英文符号,本次未发送该域名"}),
  CaseName());
// clang-format on

// Configuring before the first start must not use up the first start's own work (the
// start-with-the-system entry it creates).
TEST_F(DaemonTest, SettingsCommandsLeaveTheFirstRunToRun) {
  ASSERT_EQ(Command({"add", "demo.example.com", "--password-stdin"}, "pw\n").status, 0);
  EXPECT_EQ(Command({"set", "mx", "off"}).status, 0);
  EXPECT_EQ(Command({"refresh"}).status, 0);
  EXPECT_FALSE(FileExists(dir / "config/glbFirstRun"));
  EXPECT_FALSE(FileExists(dir / "autostart/quorvixddnsd.desktop"));
}

// Each option round trips; the autostart entry starts the client with `run`.
TEST_F(DaemonTest, SetRoundTrips) {
  StoreDomains(kDemoEntry);
  for (const auto& [name, setting] :
       {std::pair{"autorun", "glbAutoRun"}, {"mx", "glbMX"}, {"verbose", "glbLogVerbose"}}) {
    for (const std::string value : {"off", "on", "off"}) {
      EXPECT_EQ(Command({"set", name, value}).status, 0) << name << value;
      EXPECT_EQ(Stored(setting), value == "on" ? "true" : "false") << name << value;
      EXPECT_EQ(
          Has(ReadFile(dir / "autostart/quorvixddnsd.desktop"), "\nExec=/opt/q/quorvixddnsd run\n"),
          name == std::string_view("autorun") && value == "on")
          << name << value;
    }
  }
  EXPECT_EQ(Stored("domains"), kDemoEntry);
  EXPECT_EQ(Received(), Strings{});
}

struct CommandCase {
  const char* name;
  const char* before;  // the stored list
  Strings args;
  int status;
  std::string out, err;  // parts of standard output and error; with status 0, no error at all
  const char* after;     // the stored list
  Strings received;      // by the service
};

class Commands : public DaemonTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, ShowTheirOutcomeInTheStatus) {
  const CommandCase& c = GetParam();
  if (*c.before != '\0') StoreDomains(c.before);
  const Outcome outcome = Command(c.args, std::string(kPassword) + "\n");
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_TRUE(c.status == 2 ? outcome.out.empty() : Has(outcome.out, c.out)) << outcome.out;
  EXPECT_TRUE(c.status == 0 ? outcome.err.empty() : Has(outcome.err, c.err)) << outcome.err;
  EXPECT_EQ(Has(outcome.err, "用法: quorvixddnsd "), c.status == 2) << outcome.err;
  EXPECT_EQ(Stored("domains"), c.after);
  EXPECT_EQ(Received(), c.received);
}

constexpr const char* kThree = "a.com|pa,A.com|pA,b.com|pb,";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Commands, ::testing::Values(
    // del: the exact name first, else the one name that matches in another case; never the last.
    CommandCase{"DelExactBeforeCase", kThree, {"del", "A.com"}, 0, "", "", "a.com|pa,b.com|pb,", {}},
    CommandCase{"DelIgnoringCase", kThree, {"del", "B.COM"}, 0, "", "", "a.com|pa,A.com|pA,", {}},
    CommandCase{"DelMissing", kThree, {"del", "c.com"}, 1, "", "出错提示: 域名c.com不存在\n", kThree, {}},
    CommandCase{"DelLast", "a.com|pa,", {"del", "a.com"}, 1, "", kNoList, "a.com|pa,", {}},
    CommandCase{"List", kThree, {"list"}, 0, "a.com\nA.com\nb.com\n", "", kThree, {}},
    // refresh and stop: 0 when the service accepted.
    CommandCase{"RefreshOk", kDemoEntry, {"refresh"}, 0, "\t" + kResolved + "\n", "", kDemoEntry, {"START"}},
    CommandCase{"RefreshNoDomains", "", {"refresh"}, 1, "\t执行命令失败,请先设置好要解析的域名\n", "", "", {}},
    CommandCase{"StopOk", kDemoEntry, {"stop"}, 0, "\t域名demo.example.com停止解析成功\n", "", kDemoEntry, {"STOP"}},
    CommandCase{"StopNoDomains", "", {"stop"}, 1, "\t执行命令失败,请先设置好要解析的域名\n", "", "", {}},
    // usage: help on standard output, a mistake with status 2 on standard error.
    CommandCase{"Help", "", {"--help"}, 0, "set autorun|mx|verbose on|off", "", "", {}},
    CommandCase{"AddHelp", "", {"add", "a.com", "--password-stdin", "-h"}, 0, "用法: quorvixddnsd add 域名 [", "", "", {}},
    CommandCase{"NoCommand", "", {}, 2, "", "缺少命令", "", {}},
    CommandCase{"UnknownCommand", "", {"start"}, 2, "", "未知的命令: start", "", {}},
    CommandCase{"UnknownOption", "", {"list", "--all"}, 2, "", "未知的选项: --all", "", {}},
    CommandCase{"PasswordStdinElsewhere", "", {"del", "a.com", "--password-stdin"}, 2, "", "只用于 add", "", {}},
    CommandCase{"AddWithoutATerminal", "", {"add", "a.com"}, 2, "", "--password-stdin", "", {}},
    CommandCase{"DelWithoutDomain", "", {"del"}, 2, "", "del 的参数不对", "", {}},
    CommandCase{"SetBadValue", kThree, {"set", "mx", "yes"}, 2, "", "on 或 off", kThree, {}},
    CommandCase{"SetBadName", "", {"set", "colour", "on"}, 2, "", "未知的参数: colour", "", {}}),
  CaseName());
// clang-format on

// No password reaches the output or the log. The file's lines end in CR LF, and a verbose line
// holds the service's reply with its own; neither the echo of the lines nor `log` passes a CR.
TEST_F(DaemonTest, OutputShowsNoPasswordsAndNoCarriageReturns) {
  std::string seen;
  for (const auto& [args, input, status] : std::vector<std::tuple<Strings, std::string, int>>{
           {{"add", "demo.example.com", "--password-stdin"}, "Zebra-Quartz-7731\n", 0},
           {{"set", "verbose", "on"}, "", 0},
           {{"add", "Demo.Example.com", "--password-stdin"}, "Other-Pass-42\n", 1},
           {{"list"}, "", 0},
           {{"refresh"}, "", 0},
           {{"stop"}, "", 0}}) {
    const Outcome outcome = Command(args, input);
    EXPECT_EQ(outcome.status, status) << args[0];
    seen += outcome.out + outcome.err;
  }
  EXPECT_TRUE(Has(seen, "\t服务器返回结果:\nHTTP/1.1 200 OK\n")) << seen;
  EXPECT_FALSE(Has(seen, "\r"));
  const std::string file = ReadFile(dir / "quorvixddnsd.log");
  ASSERT_TRUE(Has(file, "\t服务器返回结果:\r\nHTTP/1.1 200 OK\r\n")) << file;
  std::string expected = file;
  std::erase(expected, '\r');
  EXPECT_EQ(Command({"log"}).out, expected);
  for (std::string_view secret : {"Zebra-Quartz-7731", "Other-Pass-42"}) {
    EXPECT_FALSE(Has(seen + file, secret)) << secret;
  }
}

TEST_F(DaemonTest, RunWithoutDomainsTellsHowToAddOne) {
  // The instance lock goes to a private folder.
  const TempDir runtime;
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  const Outcome outcome = Command({"run"});
  saved ? ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(Has(outcome.err, "quorvixddnsd add")) << outcome.err;
  EXPECT_TRUE(Has(outcome.out, "\t错误!请先设置好要解析的域名\n")) << outcome.out;
  EXPECT_TRUE(outcome.out.ends_with(")停止!\n")) << outcome.out;
  EXPECT_EQ(Received(), (Strings{"GETVER", "GETIP"}));
}

}  // namespace
}  // namespace quorvix
