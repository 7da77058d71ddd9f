// The start-up sequence against a scripted service: notices, the settings dialog, the three
// update attempts with their pauses on the fake clock, and what the tray and the watch end
// up with.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using namespace quorvix::testing;

constexpr const char* kFailedLine = "域名动态解析失败";
constexpr const char* kGotHere = "获取本机公网IP成功,IP地址是:127.0.0.1";
const std::string kAutostart = "autostart/quorvixDDNS.desktop";

// The machine's own address as the public one: no gateway in between.
ServerStep Here() { return AddressReply("127.0.0.1"); }
std::string AttemptLine(int n) { return "尝试第" + std::to_string(n) + "次更新域名解析"; }

struct StartupCase {
  const char* name;
  Steps script;
  Strings notices;   // logged before the first attempt
  Strings messages;  // message boxes, in order
  int attempts;
  bool updated;
};

class StartupScenarioTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupScenarioTest, RunsTheSequence) {
  const StartupCase& c = GetParam();
  ShellFixture f(c.script);
  f.StoreDomains();
  // Leftovers of an earlier run count for nothing in this one.
  f.core.state.lastUpdateOk = true;
  f.core.state.ipCheckTicks = 17;
  f.core.shell.RunStartup(false);

  EXPECT_EQ(f.core.state.ipCheckTicks, 0);
  for (const ShownMessage& message : f.desktop.messages) EXPECT_EQ(message.title, "提醒");

  // One attempt line, tray tip and START per attempt; ten seconds of processed events after
  // each failure.
  Strings log{"quorvixDDNS(ver1.1)启动!"};
  log.insert(log.end(), c.notices.begin(), c.notices.end());
  Strings commands{"GETVER", "GETIP"};
  Strings tray{"Add 7 grey 正在连接"};
  for (int n = 1; n <= c.attempts; ++n) {
    log.push_back(AttemptLine(n));
    log.push_back(c.updated && n == c.attempts ? "域名a.com动态解析成功"
                                               : "动态解析域名失败,结果:busy");
    commands.push_back("START");
    tray.push_back("Modify 7 grey " + AttemptLine(n));
  }
  if (!c.updated) log.push_back(kFailedLine);
  EXPECT_EQ(f.lines, log);
  EXPECT_EQ(f.Commands(), commands);
  const std::string image = c.updated ? "Modify 7 colour " : "Modify 7 grey ";
  tray.push_back(image + AttemptLine(c.attempts));
  tray.push_back(image + (c.updated ? "解析成功" : "解析失败/停止"));
  EXPECT_EQ(f.Tray(), tray);
  const int pauses = c.updated ? c.attempts - 1 : c.attempts;
  EXPECT_GE(f.clock.slept, pauses * 9500ms);
  EXPECT_LE(f.clock.slept, pauses * 10500ms);
  EXPECT_GE(f.desktop.processEventsCalls, pauses * 10);
  EXPECT_EQ(f.core.state.lastUpdateOk, c.updated);

  // Domains are configured: the watch runs even after three failures, so that a start-up
  // without network recovers by itself.
  Strings calls{"quit disabled", "hook installed", "tray"};
  for (const std::string& text : c.messages) calls.push_back("message:" + text);
  calls.insert(calls.end(), static_cast<std::size_t>(c.attempts), "tray");
  calls.push_back("timer on");
  if (!c.updated) calls.push_back("show log viewer");
  calls.insert(calls.end(), {"tray", "tray", "quit enabled"});
  EXPECT_EQ(f.desktop.calls, calls);
  // The first run registers the program to start with the system.
  EXPECT_TRUE(FileExists(f.dir / kAutostart));
  EXPECT_EQ(f.core.store.ReadSetting("glbFirstRun"), "false");
}

const std::string kIntranet =
    "****友情提醒****,您的公网IP:203.0.113.7与本机IP:127.0.0.1不相同,可能您的机器在内网!"
    "必须在网关上做端口映射,将公网IP映射到您的私网IP后.您本机配置的相关服务(如FTP,WWW,MAIL等)"
    "才会生效";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Scenarios, StartupScenarioTest, ::testing::Values(
    StartupCase{"SameVersion", {VersionReply(1, 1), Here(), UpdatedReply()}, {kGotHere}, {}, 1, true},
    StartupCase{"NewerVersion", {VersionReply(2, 1), Here(), UpdatedReply()},
                {"****友情提醒****,quorvixDDNS已经有新版本(2.1),建议升级软件.", kGotHere},
                {"已经有新版本Ver2.1,建议升级软件"}, 1, true},
    StartupCase{"OlderVersion", {VersionReply(1, 0), Here(), UpdatedReply()},
                {"****友情提醒****,quorvixDDNS已经有新版本(1.0),建议升级软件.", kGotHere},
                {"已经有新版本Ver1.0,建议升级软件"}, 1, true},
    StartupCase{"VersionUnknown", {Dropped(), Here(), UpdatedReply()}, {kGotHere}, {}, 1, true},
    StartupCase{"AddressUnknown", {VersionReply(1, 1), Dropped(), UpdatedReply()},
                {"警告!获取本机IP地址失败"}, {}, 1, true},
    StartupCase{"BehindGateway", {VersionReply(1, 1), AddressReply("203.0.113.7"), UpdatedReply()},
                {"获取本机公网IP成功,IP地址是:203.0.113.7", kIntranet}, {}, 1, true},
    StartupCase{"SecondAttemptSucceeds", {VersionReply(1, 1), Here(), RefusedReply(), UpdatedReply()},
                {kGotHere}, {}, 2, true},
    StartupCase{"ThreeFailures", {VersionReply(1, 1), Here(), RefusedReply()}, {kGotHere}, {}, 3, false}),
  CaseName());
// clang-format on

// Without domains the start-up waits for the settings dialog. Cancel closes it (here while it
// is being shown); OK after adding a domain has already sent START, so no attempt follows.
class StartupDialogTest : public ::testing::TestWithParam<bool> {};

TEST_P(StartupDialogTest, WaitsForTheDialogThenGoesOn) {
  const bool ok = GetParam();
  ShellFixture f({VersionReply(1, 1), Here(), UpdatedReply()});
  f.desktop.onShow = [&](Window window) {
    if (!ok && window == Window::Settings) f.core.state.setupWaiting = false;
  };
  f.desktop.onEvents = [&] {
    EXPECT_TRUE(f.core.state.setupWaiting);
    if (f.desktop.waitForEventsCalls < 3) return;  // the user takes a while
    if (ok) {
      f.StoreDomains();
      f.core.state.hasDomains = true;
      f.core.state.lastUpdateOk = f.core.runner.ExecuteCommand("START");
    }
    f.core.state.setupWaiting = false;
  };
  f.core.shell.RunStartup(false);

  EXPECT_EQ(f.desktop.waitForEventsCalls, ok ? 3 : 0);
  Strings commands{"GETVER", "GETIP"};
  if (ok) commands.push_back("START");
  EXPECT_EQ(f.Commands(), commands);
  EXPECT_EQ(f.lines, (Strings{"quorvixDDNS(ver1.1)启动!", kGotHere,
                              ok ? "域名a.com动态解析成功" : "错误!请先设置好要解析的域名"}));
  EXPECT_EQ(f.Tray().back(), ok ? "Modify 7 colour 解析成功" : "Modify 7 grey 解析失败/停止");
  // With no domain the watch would only ask for refusals: the timer stays off.
  EXPECT_EQ(f.desktop.calls,
            (Strings{"quit disabled", "hook installed", "tray", "show settings",
                     ok ? "timer on" : "show log viewer", "tray", "tray", "quit enabled"}));
}

INSTANTIATE_TEST_SUITE_P(CancelOrOk, StartupDialogTest, ::testing::Bool());

// A second instance says so first and goes on; a later run leaves the autostart entry alone.
TEST(StartupTest, SecondInstanceOnALaterRun) {
  ShellFixture f({VersionReply(1, 1), Here(), UpdatedReply()});
  f.StoreDomains();
  f.Store("glbFirstRun", "false");
  f.core.shell.RunStartup(true);
  EXPECT_EQ(f.desktop.calls.at(1), "message:提醒,本程序已经在运行");
  ASSERT_EQ(f.desktop.messages.size(), 1u);
  EXPECT_EQ(f.desktop.messages[0].title, "警告");
  EXPECT_TRUE(f.core.state.lastUpdateOk);
  EXPECT_FALSE(FileExists(f.dir / kAutostart));
}

// The pause of the start-up ends at midnight (the time of day starts again) and processes
// events at least every second.
TEST(StartupTest, WaitSecondsEndsAtMidnight) {
  ShellFixture f;
  f.clock.Set({2008, 6, 12, 23, 59, 55, 0});
  // A wait that never ends fails here instead of hanging the run.
  f.desktop.onEvents = [&f] {
    if (f.desktop.processEventsCalls > 1000) throw std::runtime_error("the wait does not end");
  };
  EXPECT_NO_THROW(f.core.shell.WaitSeconds(10));
  EXPECT_GE(f.clock.slept, 5000ms);
  EXPECT_LE(f.clock.slept, 6000ms);
  EXPECT_GE(f.desktop.processEventsCalls, 5);
}

}  // namespace
}  // namespace quorvix
