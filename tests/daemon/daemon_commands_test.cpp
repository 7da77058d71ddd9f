// The headless client's commands run in-process against the reference service on loopback:
// the settings dialog's rules on the command line, the exit statuses, what the service receives
// and what the user sees.
#include "shell/daemon_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "build_config.h"
#include "http/server.h"
#include "platform/settings_backend_posix.h"
#include "shell/headless_desktop.h"
#include "store/database.h"
#include "support/fake_clock.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using testing::ReadFile;
using testing::TempDir;
using Strings = std::vector<std::string>;

constexpr std::string_view kDemo = "demo.example.com";
// Distinctive, so that any leak of it into the output is found.
constexpr std::string_view kPassword = "Zebra-Quartz-7731";
const std::string kDemoEntry = "demo.example.com|Zebra-Quartz-7731,";
constexpr const char* kNoList = "出错信息: 请您输入需要动态解析的域名\n";

struct ByName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return info.param.name;
  }
};
// A failing case is shown by its name.
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
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

  ClientSetup NewSetup() {
    ClientSetup setup;
    setup.backend = std::make_unique<platform::PosixSettingsBackend>(Locations());
    setup.program = platform::ProgramLocation{"/opt/q", "quorvixddnsd"};
    setup.logFilePath = dir / "quorvixddnsd.log";
    setup.limits = SocketLimits{std::chrono::seconds(5), std::chrono::seconds(5), 64 * 1024};
    setup.lookup = [](const std::string&) { return Strings{"127.0.0.1"}; };
    setup.endpoints = ServiceEndpoints{"ddns.quorvix.com", "ip.quorvix.com",
                                       serviceDown ? testing::UnusedPort() : server.port()};
    return setup;
  }
  Outcome Command(Strings args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    DaemonContext context{in, out, err, clock, NewSetup()};
    const int status = RunDaemonCommand(args, context);
    return {status, out.str(), err.str()};
  }
  Outcome Add(const std::string& domain, std::string_view password) {
    return Command({"add", domain, "--password-stdin"}, std::string(password) + "\n");
  }

  platform::PosixSettingsLocations Locations() const {
    return {dir / "quorvixDDNS", dir / "autostart"};
  }
  void StoreDomains(std::string_view list) {
    platform::PosixSettingsBackend backend(Locations());
    ASSERT_EQ(backend.SetValue("domains", list), platform::SettingsBackend::Status::Ok);
  }
  std::string Stored(std::string_view name) const {
    return ReadFile(dir / ("quorvixDDNS/" + std::string(name)));
  }
  // The commands the service received, in order.
  Strings Received() {
    std::lock_guard lock(mutex);
    Strings commands;
    for (const std::string& line : serviceLog) commands.push_back(line.substr(0, line.find(' ')));
    return commands;
  }
  bool Recorded() {
    for (const service::Record& record : database.Records()) {
      if (record.domain == kDemo && record.address == "127.0.0.1") return true;
    }
    return false;
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
  testing::FakeClock clock;
  bool serviceDown = false;
};

// ---------------------------------------------------------------------------------------------
// add

struct RefusedAdd {
  const char* name;
  const char* stored;  // the list before
  const char* domain;
  std::string password;
  std::string message;  // alone on standard error
};

class AddRefused : public DaemonTest, public ::testing::WithParamInterface<RefusedAdd> {};

TEST_P(AddRefused, TellsWhyAndChangesNothing) {
  const RefusedAdd& c = GetParam();
  if (*c.stored != '\0') StoreDomains(c.stored);
  const Outcome outcome = Add(c.domain, c.password);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, c.message + "\n");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(Stored("domains"), c.stored);
  EXPECT_EQ(Received(), Strings{});
}

const std::string kInvalid = "出错提示: 域名无效,请输入正确的域名";
const std::string kNoPassword = "出错提示: 请输入域名管理密码";
const std::string kComma = "出错提示: 管理密码中不可含有逗号,请修改后再设置";
const std::string kWww =
    "出错提示: 不能含有www.,假如您的域名是www.myhome.com,仅需填写myhome.com即可";
const std::string kTooMany = "出错信息: 抱歉,您输入的域名过多!";

// The checks run in the dialog's order: the "...Before..." cases hold two faults and get the
// first. "demo.example.com|" + password + "," reaches 1000 characters, or 1024 bytes in the
// store ("是" takes three) with fewer characters.
INSTANTIATE_TEST_SUITE_P(
    Checks, AddRefused,
    ::testing::Values(
        RefusedAdd{"BadCharacter", "", "demo_1.example.com", "pw", kInvalid},
        RefusedAdd{"TooShort", "", "a.", "pw", kInvalid},
        RefusedAdd{"EmptyPassword", "", "demo.example.com", "", kNoPassword},
        RefusedAdd{"CommaInPassword", "", "demo.example.com", "a,b", kComma},
        RefusedAdd{"NoDot", "", "localhost", "pw", kInvalid},
        RefusedAdd{"Www", "", "WWW.example.com", "pw", kWww},
        RefusedAdd{"DuplicateInOtherCase", "a.com|x,", "A.com", "pw", "出错提示: A.com已经存在"},
        RefusedAdd{"DomainBeforePassword", "", "x_y.com", "", kInvalid},
        RefusedAdd{"PasswordBeforeDot", "", "localhost", "", kNoPassword},
        RefusedAdd{"CommaBeforeWww", "", "www.a.com", "a,b", kComma},
        RefusedAdd{"WwwBeforeDuplicate", "www.a.com|x,", "www.a.com", "pw", kWww},
        RefusedAdd{"Characters1000", "", "demo.example.com", std::string(982, 'p'), kTooMany},
        RefusedAdd{"Bytes1024", "", "demo.example.com", "p" + Repeat("是", 335), kTooMany}),
    ByName());

struct SavedAdd {
  const char* name;
  std::string password;
  bool serviceDown;
  std::string line;  // the START outcome on standard output
  bool recorded;
};

class AddSaved : public DaemonTest, public ::testing::WithParamInterface<SavedAdd> {};

// The status says whether the settings changed, as for del and set: the domain is stored in
// every case (`run` keeps trying it) and the update's outcome is the line on standard output.
// A status of 1 would read as "nothing was added", yet a second add would be refused.
TEST_P(AddSaved, StoresSendsStartAndShowsItsOutcome) {
  const SavedAdd& c = GetParam();
  serviceDown = c.serviceDown;
  const Outcome outcome = Add(std::string(kDemo), c.password);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(Has(outcome.out, "\t" + c.line + "\n")) << outcome.out;
  EXPECT_EQ(Stored("domains"), "demo.example.com|" + c.password + ",");
  EXPECT_EQ(Recorded(), c.recorded);
  EXPECT_EQ(Received(), c.serviceDown ? Strings{} : Strings{"START"});
  EXPECT_EQ(Command({"list"}).out, "demo.example.com\n");
}

const std::string kBadSignature = "域名demo.example.com动态解析失败,签名错误，请检查域名管理密码";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AddSaved,
    ::testing::Values(
        SavedAdd{"Resolved", std::string(kPassword), false, "域名demo.example.com动态解析成功",
                 true},
        SavedAdd{"WrongPassword", "Other-Pass-1", false, kBadSignature, false},
        SavedAdd{"ServiceDown", std::string(kPassword), true, "域名动态解析失败", false},
        SavedAdd{"Characters999", std::string(981, 'p'), false, kBadSignature, false},
        // Stored, but never signed: the service accepts ASCII passwords only.
        SavedAdd{"Bytes1023", Repeat("是", 335), false,
                 "域名demo.example.com签名失败,域名和密码只能包含英文字母、数字和英文符号,"
                 "本次未发送该域名",
                 false}),
    ByName());

// Configuring before the first start must not use up the first start's own work (the
// start-with-the-system entry it creates).
TEST_F(DaemonTest, SettingsCommandsLeaveTheFirstRunToRun) {
  ASSERT_EQ(Add(std::string(kDemo), kPassword).status, 0);
  EXPECT_EQ(Command({"set", "mx", "off"}).status, 0);
  EXPECT_EQ(Command({"refresh"}).status, 0);
  EXPECT_FALSE(testing::FileExists(dir / "quorvixDDNS/glbFirstRun"));
  EXPECT_FALSE(testing::FileExists(dir / "autostart/quorvixddnsd.desktop"));
}

TEST_F(DaemonTest, AddWithoutPasswordStdinNeedsATerminal) {
  const Outcome outcome = Command({"add", std::string(kDemo)}, std::string(kPassword) + "\n");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_TRUE(Has(outcome.err, "--password-stdin")) << outcome.err;
  EXPECT_EQ(Stored("domains"), "");
}

// ---------------------------------------------------------------------------------------------
// del and set

struct DeleteCase {
  const char* name;
  const char* stored;
  const char* domain;
  int status;
  const char* after;  // the stored list
  std::string err;
};

class Delete : public DaemonTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(Delete, RemovesOneDomainWithoutTellingTheService) {
  const DeleteCase& c = GetParam();
  StoreDomains(c.stored);
  const Outcome outcome = Command({"del", c.domain});
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_EQ(outcome.err, c.err);
  EXPECT_EQ(Stored("domains"), c.after);
  EXPECT_EQ(Received(), Strings{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Delete,
    ::testing::Values(DeleteCase{"Exact", "a.com|pa,B.com|pb,", "a.com", 0, "B.com|pb,", ""},
                      DeleteCase{"IgnoringCase", "a.com|pa,B.com|pb,", "b.COM", 0, "a.com|pa,", ""},
                      DeleteCase{"ExactBeforeCase", "a.com|pa,A.com|pA,b.com|pb,", "A.com", 0,
                                 "a.com|pa,b.com|pb,", ""},
                      DeleteCase{"Missing", "a.com|pa,B.com|pb,", "c.com", 1, "a.com|pa,B.com|pb,",
                                 "出错提示: 域名c.com不存在\n"},
                      DeleteCase{"LastOne", "a.com|pa,", "a.com", 1, "a.com|pa,", kNoList}),
    ByName());

struct SetCase {
  const char* name;
  const char* setting;  // the store's value name
};

class Set : public DaemonTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(Set, RoundTrips) {
  const SetCase& c = GetParam();
  const std::string autostart = dir / "autostart/quorvixddnsd.desktop";
  const Outcome refused = Command({"set", c.name, "on"});  // no domains yet
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, kNoList);
  EXPECT_EQ(Stored(c.setting), "");
  StoreDomains(kDemoEntry);
  for (const std::string value : {"off", "on", "off"}) {
    const Outcome outcome = Command({"set", c.name, value});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Stored(c.setting), value == "on" ? "true" : "false") << value;
    if (std::string_view(c.name) == "autorun") {
      EXPECT_EQ(testing::FileExists(autostart), value == "on") << value;
      if (value == "on") {
        EXPECT_TRUE(Has(ReadFile(autostart), "\nExec=/opt/q/quorvixddnsd run\n"));
      }
    }
  }
  EXPECT_EQ(Stored("domains"), kDemoEntry);
  EXPECT_EQ(Received(), Strings{});
}

INSTANTIATE_TEST_SUITE_P(Options, Set,
                         ::testing::Values(SetCase{"autorun", "glbAutoRun"}, SetCase{"mx", "glbMX"},
                                           SetCase{"verbose", "glbLogVerbose"}),
                         ByName());

// ---------------------------------------------------------------------------------------------
// refresh and stop

struct OnceCase {
  const char* name;
  const char* command;
  bool domains;
  bool serviceDown;
  int status;
  std::string line;
  bool recordedAfter;  // a record is there before
};

class Once : public DaemonTest, public ::testing::WithParamInterface<OnceCase> {};

TEST_P(Once, StatusFollowsTheOutcome) {
  const OnceCase& c = GetParam();
  if (c.domains) StoreDomains(kDemoEntry);
  database.SetRecord({std::string(kDemo), "127.0.0.1", false, 1});
  serviceDown = c.serviceDown;
  const Outcome outcome = Command({c.command});
  EXPECT_EQ(outcome.status, c.status) << outcome.out;
  EXPECT_TRUE(Has(outcome.out, "\t" + c.line + "\n")) << outcome.out;
  EXPECT_EQ(Recorded(), c.recordedAfter);
}

const std::string kNoDomains = "执行命令失败,请先设置好要解析的域名";
const std::string kNetworkDown = "抱歉，网络连接失败，请检查您本地网络是否正常";

INSTANTIATE_TEST_SUITE_P(
    Cases, Once,
    ::testing::Values(
        OnceCase{"RefreshOk", "refresh", true, false, 0, "域名demo.example.com动态解析成功", true},
        OnceCase{"StopOk", "stop", true, false, 0, "域名demo.example.com停止解析成功", false},
        OnceCase{"RefreshDown", "refresh", true, true, 1, kNetworkDown, true},
        OnceCase{"StopDown", "stop", true, true, 1, kNetworkDown, true},
        OnceCase{"RefreshNoDomains", "refresh", false, false, 1, kNoDomains, true},
        OnceCase{"StopNoDomains", "stop", false, false, 1, kNoDomains, true}),
    ByName());

// ---------------------------------------------------------------------------------------------
// list, log and the passwords

TEST_F(DaemonTest, PasswordsNeverReachTheOutput) {
  std::string seen;
  const auto run = [&](Strings args, const std::string& input = "") {
    const Outcome outcome = Command(std::move(args), input);
    seen += outcome.out + outcome.err;
    return outcome;
  };
  EXPECT_EQ(run({"add", "demo.example.com", "--password-stdin"}, "Zebra-Quartz-7731\n").status, 0);
  EXPECT_EQ(run({"set", "verbose", "on"}).status, 0);
  EXPECT_EQ(run({"add", "Demo.Example.com", "--password-stdin"}, "Other-Pass-42\n").status, 1);
  EXPECT_EQ(run({"add", "b.example.com", "--password-stdin"}, "Bison-Pass-9\n").status, 0);
  EXPECT_EQ(run({"list"}).out, "demo.example.com\nb.example.com\n");
  EXPECT_EQ(run({"refresh"}).status, 0);
  EXPECT_EQ(run({"stop"}).status, 0);
  EXPECT_EQ(run({"del", "B.example.com"}).status, 0);
  EXPECT_EQ(run({"del", "demo.example.com"}).status, 1);
  const Outcome log = run({"log"});
  EXPECT_TRUE(Has(log.out, "\t发送命令:START....\n")) << log.out;  // verbose lines too
  for (std::string_view secret : {"Zebra-Quartz-7731", "Other-Pass-42", "Bison-Pass-9"}) {
    EXPECT_FALSE(Has(seen, secret)) << secret;
    EXPECT_FALSE(Has(ReadFile(dir / "quorvixddnsd.log"), secret)) << secret;
  }
}

// The file's lines end in CR LF, and a verbose line holds the service's reply with its own;
// neither the echo of the lines nor `log` passes a CR on.
TEST_F(DaemonTest, OutputHasNoCarriageReturns) {
  EXPECT_EQ(Command({"log"}).out, "");  // no file yet
  StoreDomains(kDemoEntry);
  ASSERT_EQ(Command({"set", "verbose", "on"}).status, 0);
  const Outcome refresh = Command({"refresh"});
  EXPECT_TRUE(Has(refresh.out, "\t服务器返回结果:\nHTTP/1.1 200 OK\n")) << refresh.out;
  EXPECT_FALSE(Has(refresh.out, "\r"));
  const std::string file = ReadFile(dir / "quorvixddnsd.log");
  ASSERT_TRUE(Has(file, "\t服务器返回结果:\r\nHTTP/1.1 200 OK\r\n")) << file;
  std::string expected = file;
  std::erase(expected, '\r');
  EXPECT_EQ(Command({"log"}).out, expected);
}

// ---------------------------------------------------------------------------------------------
// usage

struct UsageCase {
  const char* name;
  Strings args;
  int status;
  std::string shows;  // on standard output with status 0, else on standard error
};

class Usage : public DaemonTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(Usage, ExplainsItself) {
  const UsageCase& c = GetParam();
  const Outcome outcome = Command(c.args, std::string(kPassword) + "\n");
  EXPECT_EQ(outcome.status, c.status);
  const std::string& shown = c.status == 0 ? outcome.out : outcome.err;
  EXPECT_TRUE(Has(shown, "用法: quorvixddnsd ")) << shown;
  EXPECT_TRUE(Has(shown, c.shows)) << shown;
  EXPECT_EQ(c.status == 0 ? outcome.err : outcome.out, "");
  EXPECT_EQ(Stored("domains") + Stored("glbMX"), "");
  EXPECT_EQ(Received(), Strings{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Usage,
    ::testing::Values(
        UsageCase{"Help", {"--help"}, 0, "set autorun|mx|verbose on|off"},
        UsageCase{"AddHelp", {"add", "a.com", "--password-stdin", "-h"}, 0, "add 域名 ["},
        UsageCase{"RunHelp", {"run", "--help"}, 0, "SIGTERM"},
        UsageCase{"NoCommand", {}, 2, "缺少命令"},
        UsageCase{"UnknownCommand", {"start"}, 2, "未知的命令: start"},
        UsageCase{"UnknownOption", {"list", "--all"}, 2, "未知的选项: --all"},
        UsageCase{"PasswordStdinElsewhere", {"del", "a.com", "--password-stdin"}, 2, "只用于 add"},
        UsageCase{"AddWithoutDomain", {"add", "--password-stdin"}, 2, "add 的参数不对"},
        UsageCase{"DelWithoutDomain", {"del"}, 2, "del 的参数不对"},
        UsageCase{"ListWithOperand", {"list", "all"}, 2, "list 的参数不对"},
        UsageCase{"SetBadValue", {"set", "mx", "yes"}, 2, "on 或 off"},
        UsageCase{"SetBadName", {"set", "colour", "on"}, 2, "未知的参数: colour"},
        UsageCase{"SetMissingValue", {"set", "mx"}, 2, "set 的参数不对"}),
    ByName());

// ---------------------------------------------------------------------------------------------
// run and the start-up

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
  const std::string stop = "\tquorvixddnsd(ver" + std::to_string(build::kVersionMajor) + "." +
                           std::to_string(build::kVersionMinor) + ")停止!\n";
  EXPECT_TRUE(outcome.out.ends_with(stop)) << outcome.out;
  const std::string file = ReadFile(dir / "quorvixddnsd.log");
  EXPECT_TRUE(Has(file, "\t错误!请先设置好要解析的域名\r\n")) << file;
  EXPECT_TRUE(file.ends_with(stop.substr(0, stop.size() - 1) + "\r\n")) << file;
  EXPECT_EQ(Received(), (Strings{"GETVER", "GETIP"}));
}

// Three attempts ten seconds apart when the service is down; the waits run on the fake clock.
TEST_F(DaemonTest, StartupTriesThreeTimesWhenTheServiceIsDown) {
  StoreDomains(kDemoEntry);
  serviceDown = true;
  std::ostringstream err;
  HeadlessDesktop desktop(err);
  ClientCore core(desktop, clock, NewSetup());
  desktop.Attach(core.shell, core.state);
  Strings lines;
  core.log.SetLineObserver([&lines](std::string_view line) {
    if (Has(line, "尝试第") || Has(line, "解析失败")) {
      lines.emplace_back(line.substr(line.find('\t') + 1));
    }
  });
  core.shell.Guarded([&] { core.shell.RunStartup(false); });
  EXPECT_EQ(lines, (Strings{"尝试第1次更新域名解析", "尝试第2次更新域名解析",
                            "尝试第3次更新域名解析", "域名动态解析失败"}));
  EXPECT_GE(clock.slept, std::chrono::seconds(20));
  EXPECT_FALSE(desktop.wantedSettings());
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace quorvix
