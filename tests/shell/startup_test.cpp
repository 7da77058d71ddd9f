// The start-up sequence against a scripted service: notices, the settings dialog, the three
// update attempts with their pauses on the fake clock, and what the tray and the watch end
// up with.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using testing::AddressReply;
using testing::Dropped;
using testing::FileExists;
using testing::RefusedReply;
using testing::ServerStep;
using testing::ShellFixture;
using testing::UpdatedReply;
using testing::VersionReply;
using Steps = std::vector<ServerStep>;

constexpr const char* kStartLine = "quorvixDDNS(ver1.1)启动!";
constexpr const char* kFailedLine = "域名动态解析失败";
constexpr const char* kNoDomainsLine = "错误!请先设置好要解析的域名";
constexpr const char* kNewVersionNote = "****友情提醒****,quorvixDDNS已经有新版本";
constexpr const char* kIntranetNote = "****友情提醒****,您的公网IP:";

constexpr const char* kNoAddressLine = "警告!获取本机IP地址失败";

// The machine's own address as the public one: no gateway in between.
ServerStep Here() { return AddressReply(testing::kMachineAddress); }
// Version and address as expected, then the replies to START.
Steps Normal(Steps starts) {
  Steps script{VersionReply(1, 1), Here()};
  script.insert(script.end(), starts.begin(), starts.end());
  return script;
}

std::string AttemptLine(int n) { return "尝试第" + std::to_string(n) + "次更新域名解析"; }

struct StartupCase {
  const char* name;
  std::optional<Steps> script;         // none: the service is down
  std::vector<std::string> lines;      // logged, as prefixes
  std::vector<std::string> notLogged;  // prefixes that must not appear
  std::vector<std::string> messages;   // message boxes, in order
  int attempts;
  bool updated;
};

class StartupScenarioTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupScenarioTest, RunsTheSequence) {
  const StartupCase& c = GetParam();
  ShellFixture f(c.script);
  f.StoreDomains();
  f.StoreVerbose();
  // Leftovers of an earlier run count for nothing in this one.
  f.core.state.lastUpdateOk = true;
  f.core.state.ipCheckTicks = 17;
  f.core.shell.RunStartup(false);
  EXPECT_EQ(f.core.state.ipCheckTicks, 0);

  ASSERT_FALSE(f.lines.empty());
  EXPECT_EQ(f.lines.front(), kStartLine);
  for (const std::string& line : c.lines) EXPECT_TRUE(f.LoggedStartingWith(line)) << line;
  for (const std::string& line : c.notLogged) EXPECT_FALSE(f.LoggedStartingWith(line)) << line;
  std::vector<std::string> texts;
  for (const auto& message : f.desktop.messages) {
    texts.push_back(message.text);
    EXPECT_EQ(message.title, "提醒");
  }
  EXPECT_EQ(texts, c.messages);

  // One attempt line, tray tip and START per attempt; a pause of ten seconds after each
  // failure, during which events are processed.
  std::vector<std::string> tips;
  for (int n = 1; n <= c.attempts; ++n) {
    EXPECT_EQ(f.Count(AttemptLine(n)), 1u) << n;
    tips.push_back("Modify 7 grey " + AttemptLine(n));
  }
  EXPECT_FALSE(f.Logged(AttemptLine(c.attempts + 1)));
  if (c.script) {
    std::vector<std::string> commands{"GETVER", "GETIP"};
    commands.insert(commands.end(), static_cast<std::size_t>(c.attempts), "START");
    EXPECT_EQ(f.Commands(), commands);
  }
  const int pauses = c.updated ? c.attempts - 1 : c.attempts;
  EXPECT_GE(f.clock.slept, pauses * 9500ms);
  EXPECT_LE(f.clock.slept, pauses * 10500ms);
  EXPECT_GE(f.desktop.processEventsCalls, pauses * 10);

  std::vector<std::string> tray{"Add 7 grey 正在连接"};
  tray.insert(tray.end(), tips.begin(), tips.end());
  const std::string image = c.updated ? "Modify 7 colour " : "Modify 7 grey ";
  tray.push_back(image + AttemptLine(c.attempts));
  tray.push_back(image + (c.updated ? "解析成功" : "解析失败/停止"));
  EXPECT_EQ(f.Tray(), tray);
  EXPECT_EQ(f.core.state.lastUpdateOk, c.updated);
  EXPECT_EQ(f.Count(kFailedLine), c.updated ? 0u : 1u);
  EXPECT_FALSE(f.Logged(kNoDomainsLine));

  // Domains are configured: the watch runs even after three failures, so that a start-up
  // without network recovers by itself.
  std::vector<std::string> calls{"quit disabled", "hook installed", "tray"};
  for (std::size_t i = 0; i < texts.size(); ++i) calls.push_back("message:" + texts[i]);
  calls.insert(calls.end(), static_cast<std::size_t>(c.attempts), "tray");
  calls.push_back("timer on");
  if (!c.updated) calls.push_back("show log viewer");
  calls.insert(calls.end(), {"tray", "tray", "quit enabled"});
  EXPECT_EQ(f.desktop.calls, calls);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Scenarios, StartupScenarioTest, ::testing::Values(
    StartupCase{"SameVersionSameAddress", Steps{VersionReply(1, 1), Here(), UpdatedReply()},
                {"获取服务器最新版本成功,主版本:1,次版本:1"},
                {kNewVersionNote, kIntranetNote, kNoAddressLine}, {}, 1, true},
    StartupCase{"NewerVersion", Steps{VersionReply(2, 1), Here(), UpdatedReply()},
                {"获取服务器最新版本成功,主版本:2,次版本:1",
                 "****友情提醒****,quorvixDDNS已经有新版本(2.1),建议升级软件."},
                {}, {"已经有新版本Ver2.1,建议升级软件"}, 1, true},
    StartupCase{"OlderVersionAlsoNoted", Steps{VersionReply(1, 0), Here(), UpdatedReply()},
                {"****友情提醒****,quorvixDDNS已经有新版本(1.0),建议升级软件."},
                {}, {"已经有新版本Ver1.0,建议升级软件"}, 1, true},
    StartupCase{"VersionUnknown", Steps{Dropped(), Here(), UpdatedReply()},
                {}, {"获取服务器最新版本成功", kNewVersionNote}, {}, 1, true},
    StartupCase{"AddressUnknown", Steps{VersionReply(1, 1), Dropped(), UpdatedReply()},
                {kNoAddressLine}, {kIntranetNote}, {}, 1, true},
    StartupCase{"BehindGateway", Steps{VersionReply(1, 1), AddressReply("203.0.113.7"), UpdatedReply()},
                {"****友情提醒****,您的公网IP:203.0.113.7与本机IP:10.1.2.3"},
                {kNoAddressLine}, {}, 1, true},
    StartupCase{"SecondAttemptSucceeds", Normal({RefusedReply(), UpdatedReply()}), {}, {}, {}, 2, true},
    StartupCase{"ThreeRefusals", Normal({RefusedReply()}), {}, {}, {}, 3, false},
    StartupCase{"ServiceDown", std::nullopt, {kNoAddressLine}, {}, {}, 3, false}),
  testing::CaseName());
// clang-format on

// How the settings dialog ends while the start-up waits for it.
enum class Dialog { Cancel, OkUpdated, OkNotUpdated };

struct DialogCase {
  const char* name;
  Dialog dialog;
  Steps script;
  std::vector<std::string> commands;
  int attempts;
  bool updated;
};

class StartupDialogTest : public ::testing::TestWithParam<DialogCase> {};

TEST_P(StartupDialogTest, WaitsForTheDialogThenGoesOn) {
  const DialogCase& c = GetParam();
  ShellFixture f(c.script);
  int events = 0;
  bool waitingSeen = true;
  f.desktop.onEvents = [&] {
    waitingSeen = waitingSeen && f.core.state.setupWaiting;
    // The user needs a few events to fill in the dialog.
    if (++events < 3) return;
    if (c.dialog != Dialog::Cancel) {
      f.StoreDomains();
      f.core.state.hasDomains = true;
      f.core.state.lastUpdateOk = f.core.runner.ExecuteCommand("START");
    }
    f.core.state.setupWaiting = false;
  };
  f.core.shell.RunStartup(false);

  EXPECT_TRUE(waitingSeen);
  EXPECT_EQ(f.desktop.waitForEventsCalls, 3);
  EXPECT_EQ(f.desktop.shown.front(), Window::Settings);
  EXPECT_EQ(f.Commands(), c.commands);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(f.Logged(AttemptLine(n)), n <= c.attempts) << n;
  EXPECT_EQ(f.core.state.lastUpdateOk, c.updated);
  const bool cancelled = c.dialog == Dialog::Cancel;
  EXPECT_EQ(f.Logged(kNoDomainsLine), cancelled);
  EXPECT_EQ(f.Logged(kFailedLine), !c.updated && !cancelled);
  EXPECT_EQ(f.desktop.shown.back() == Window::LogViewer, !c.updated);
  EXPECT_EQ(f.Tray().back(),
            c.updated ? "Modify 7 colour 解析成功" : "Modify 7 grey 解析失败/停止");
  // With no domain the watch would only ask for refusals.
  EXPECT_EQ(f.desktop.watchTimer, !cancelled);
  EXPECT_EQ(std::count(f.desktop.calls.begin(), f.desktop.calls.end(), "timer on"),
            cancelled ? 0 : 1);
  EXPECT_EQ(f.desktop.calls.back(), "quit enabled");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Outcomes, StartupDialogTest, ::testing::Values(
    DialogCase{"Cancel", Dialog::Cancel, Normal({UpdatedReply()}), {"GETVER", "GETIP"}, 0, false},
    DialogCase{"OkAfterSuccessfulUpdate", Dialog::OkUpdated, Normal({UpdatedReply()}),
               {"GETVER", "GETIP", "START"}, 0, true},
    DialogCase{"OkAfterRefusedUpdate", Dialog::OkNotUpdated, Normal({RefusedReply(), UpdatedReply()}),
               {"GETVER", "GETIP", "START", "START"}, 1, true}),
  testing::CaseName());
// clang-format on

// A dialog that is closed before ShowWindow returns (the front-end's stand-in does this) must
// not leave the start-up waiting for events that will never come.
TEST(StartupTest, DialogClosedWhileBeingShown) {
  ShellFixture f(Steps{VersionReply(1, 1), Here()});
  f.desktop.onShow = [&f](Window window) {
    if (window == Window::Settings) f.core.state.setupWaiting = false;
  };
  f.desktop.onEvents = [&f] {
    if (f.desktop.waitForEventsCalls > 100) throw std::runtime_error("waits for a closed dialog");
  };
  EXPECT_NO_THROW(f.core.shell.RunStartup(false));
  EXPECT_EQ(f.desktop.waitForEventsCalls, 0);
  EXPECT_TRUE(f.Logged(kNoDomainsLine));
  EXPECT_EQ(f.desktop.calls.back(), "quit enabled");
}

// What the user does from the tray during the pause after the first failed attempt.
struct PauseCase {
  const char* name;
  std::function<void(ShellFixture&)> act;
  Steps script;
  std::vector<std::string> commands;
  bool updated;
  const char* outcomeLine;  // logged when the start-up gives up
};

class StartupPauseTest : public ::testing::TestWithParam<PauseCase> {};

TEST_P(StartupPauseTest, TheNextAttemptSeesTheChange) {
  const PauseCase& c = GetParam();
  ShellFixture f(c.script);
  f.StoreDomains();
  bool done = false;
  f.desktop.onEvents = [&] {
    if (!done) c.act(f);
    done = true;
  };
  f.core.shell.RunStartup(false);
  EXPECT_EQ(f.Commands(), c.commands);
  EXPECT_TRUE(f.Logged(AttemptLine(1)));
  EXPECT_FALSE(f.Logged(AttemptLine(2)));
  EXPECT_EQ(f.core.state.lastUpdateOk, c.updated);
  EXPECT_EQ(f.Logged(c.outcomeLine), !c.updated);
  EXPECT_EQ(f.Tray().back(),
            c.updated ? "Modify 7 colour 解析成功" : "Modify 7 grey 解析失败/停止");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(UserActions, StartupPauseTest, ::testing::Values(
    PauseCase{"RefreshSucceeds", [](ShellFixture& f) { f.core.shell.Refresh(); },
              Normal({RefusedReply(), UpdatedReply()}), {"GETVER", "GETIP", "START", "START"},
              true, kFailedLine},
    PauseCase{"DomainsRemoved",
              [](ShellFixture& f) {
                f.StoreDomains("");
                f.core.state.hasDomains = false;
              },
              Normal({RefusedReply()}), {"GETVER", "GETIP", "START"}, false, kNoDomainsLine}),
  testing::CaseName());
// clang-format on

TEST(StartupTest, SecondInstanceIsToldAndGoesOn) {
  ShellFixture f(Normal({UpdatedReply()}));
  f.StoreDomains();
  f.core.shell.RunStartup(true);
  ASSERT_GE(f.desktop.calls.size(), 2u);
  EXPECT_EQ(f.desktop.calls[0], "quit disabled");
  EXPECT_EQ(f.desktop.calls[1], "message:提醒,本程序已经在运行");
  ASSERT_EQ(f.desktop.messages.size(), 1u);
  EXPECT_EQ(f.desktop.messages[0].title, "警告");
  EXPECT_EQ(f.desktop.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(f.Commands(), (std::vector<std::string>{"GETVER", "GETIP", "START"}));
  EXPECT_TRUE(f.core.state.lastUpdateOk);
}

// Only the first run on a machine registers the program to start with the system.
class StartupAutoRunTest : public ::testing::TestWithParam<bool> {};

TEST_P(StartupAutoRunTest, FirstRunCreatesTheAutostartEntry) {
  const bool firstRun = GetParam();
  ShellFixture f(Steps{Dropped()});
  f.StoreDomains();
  if (!firstRun) f.Store("glbFirstRun", "false");
  f.core.shell.RunStartup(false);
  EXPECT_EQ(FileExists(f.dir / "autostart/quorvixDDNS.desktop"), firstRun);
  EXPECT_EQ(f.core.state.glbFirstRun, firstRun);
  EXPECT_EQ(f.core.store.ReadSetting("glbFirstRun"), "false");
}

INSTANTIATE_TEST_SUITE_P(Runs, StartupAutoRunTest, ::testing::Bool());

struct WaitCase {
  const char* name;
  platform::LocalTime start;
  std::chrono::milliseconds minimum, maximum;
  int endDay;
};

class WaitSecondsTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitSecondsTest, PassesTheTimeProcessingEvents) {
  const WaitCase& c = GetParam();
  ShellFixture f;
  f.clock.Set(c.start);
  // A wait that never ends fails here instead of hanging the run.
  f.desktop.onEvents = [&f] {
    if (f.desktop.processEventsCalls > 1000) throw std::runtime_error("the wait does not end");
  };
  EXPECT_NO_THROW(f.core.shell.WaitSeconds(10));
  EXPECT_GE(f.clock.slept, c.minimum);
  EXPECT_LE(f.clock.slept, c.maximum);
  EXPECT_EQ(f.clock.Now().day, c.endDay);
  // The program stays responsive: events at least every second.
  EXPECT_GE(f.desktop.processEventsCalls, f.clock.slept / 1s);
}

INSTANTIATE_TEST_SUITE_P(
    Times, WaitSecondsTest,
    ::testing::Values(WaitCase{"WholeSecond", {2008, 6, 12, 14, 5, 9, 0}, 9500ms, 10500ms, 12},
                      WaitCase{"MidSecond", {2008, 6, 12, 14, 5, 9, 700}, 9000ms, 11000ms, 12},
                      WaitCase{"EndsAtMidnight", {2008, 6, 12, 23, 59, 55, 0}, 5000ms, 6000ms, 13}),
    testing::CaseName());

}  // namespace
}  // namespace quorvix
