// The tray menu's commands, quitting, and the guard that keeps a failing handler from ending
// the program.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "build_config.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using testing::RefusedReply;
using testing::ServerStep;
using testing::ShellFixture;
using testing::UpdatedReply;
using Steps = std::vector<ServerStep>;
using Strings = std::vector<std::string>;

constexpr const char* kStopLine = "quorvixDDNS(ver1.1)停止!";
constexpr const char* kRefusal = "执行命令失败,请先设置好要解析的域名";
constexpr const char* kFailedLine = "域名动态解析失败";
constexpr const char* kColour = "Modify 7 colour 解析成功";
constexpr const char* kGrey = "Modify 7 grey 解析失败/停止";
const Strings kRedraws{"tray", "tray"};
const Strings kShowsLog{"show log viewer", "tray", "tray"};
bool Refresh(Shell& shell) { return shell.Refresh(); }
bool Stop(Shell& shell) { return shell.Stop(); }

// A program that has started with the icon in the tray and the outcome `lastOk` shown.
void Started(ShellFixture& f, bool domains, bool lastOk) {
  if (domains) f.StoreDomains();
  f.core.shell.InitApp();
  f.core.state.lastUpdateOk = lastOk;
  f.core.shell.tray().Stop_Connect_status(lastOk);
  f.desktop.watchTimer = lastOk;
  f.desktop.calls.clear();
  f.lines.clear();
}

struct UpdateCase {
  const char* name;
  std::function<bool(Shell&)> command;  // what it returns: the command's success
  bool domains;
  bool lastOk;                  // before the command
  std::optional<Steps> script;  // none: the service is down
  std::size_t requests;         // that reach the service
  bool returned;
  bool finalOk;
  bool timer;
  Strings lines;  // the outcome's lines, in order, among everything logged
  Strings calls;  // desktop requests of the command
};

class UpdateCommandTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateCommandTest, ShowsTheOutcome) {
  const UpdateCase& c = GetParam();
  ShellFixture f(c.script);
  Started(f, c.domains, c.lastOk);
  EXPECT_EQ(c.command(f.core.shell), c.returned);

  if (f.server) {
    EXPECT_EQ(static_cast<std::size_t>(f.server->connections()), c.requests);
  }
  EXPECT_EQ(f.core.state.lastUpdateOk, c.finalOk);
  EXPECT_EQ(f.desktop.watchTimer, c.timer);
  Strings outcome;
  for (const std::string& line : f.lines) {
    if (line == kRefusal || line == kFailedLine) outcome.push_back(line);
  }
  EXPECT_EQ(outcome, c.lines);
  EXPECT_EQ(f.desktop.calls, c.calls);
  EXPECT_EQ(f.Tray().back(), c.finalOk ? kColour : kGrey);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Commands, UpdateCommandTest,
    ::testing::Values(
        //         name                     command  domains lastOk script                requests returned finalOk timer lines                    calls
        UpdateCase{"RefreshUpdated",        Refresh, true,  false, Steps{UpdatedReply()}, 1, true,  true,  true,  {},                      {"timer on", "tray", "tray"}},
        UpdateCase{"RefreshRefused",        Refresh, true,  true,  Steps{RefusedReply()}, 1, false, false, true,  {kFailedLine},           kShowsLog},
        UpdateCase{"RefreshServiceDown",    Refresh, true,  false, std::nullopt,          0, false, false, false, {kFailedLine},           kShowsLog},
        UpdateCase{"RefreshWithoutDomains", Refresh, false, false, Steps{UpdatedReply()}, 0, false, false, false, {kRefusal, kFailedLine}, kShowsLog},
        UpdateCase{"StopAccepted",          Stop,    true,  true,  Steps{UpdatedReply()}, 1, true,  false, false, {},                      {"timer off", "tray", "tray"}},
        UpdateCase{"StopRefusedKeepsOn",    Stop,    true,  true,  Steps{RefusedReply()}, 1, false, true,  true,  {},                      kRedraws},
        UpdateCase{"StopRefusedAfterFail",  Stop,    true,  false, Steps{RefusedReply()}, 1, false, false, false, {},                      kRedraws},
        UpdateCase{"StopWithoutDomains",    Stop,    false, true,  Steps{UpdatedReply()}, 0, false, true,  true,  {kRefusal},              kRedraws}),
    testing::CaseName());
// clang-format on

TEST(TrayCommandsTest, RefreshSendsStartAndStopSendsStop) {
  ShellFixture f(Steps{UpdatedReply()});
  Started(f, true, false);
  EXPECT_TRUE(f.core.shell.Refresh());
  EXPECT_TRUE(f.core.shell.Stop());
  EXPECT_EQ(f.Commands(), (Strings{"START", "STOP"}));
  EXPECT_FALSE(f.desktop.watchTimer);
}

struct PlainCase {
  const char* name;
  std::function<void(Shell&)> command;
  std::string call;
};

class PlainCommandTest : public ::testing::TestWithParam<PlainCase> {};

TEST_P(PlainCommandTest, AsksTheDesktopOnly) {
  ShellFixture f(Steps{UpdatedReply()});
  Started(f, true, true);
  GetParam().command(f.core.shell);
  EXPECT_EQ(f.desktop.calls, Strings{GetParam().call});
  EXPECT_EQ(f.server->connections(), 0);
  EXPECT_TRUE(f.lines.empty());
}

const std::string kSite = std::string("http://") + build::kWebHost;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, PlainCommandTest, ::testing::Values(
    PlainCase{"Upgrade", &Shell::OpenUpgradePage, "open " + kSite + "/ddns/default.asp#3"},
    PlainCase{"Help", &Shell::OpenHelpPage, "open " + kSite + "/ddns/howuse.asp"},
    PlainCase{"Log", &Shell::ShowLog, "show log viewer"},
    PlainCase{"Settings", &Shell::ShowSettings, "show settings"},
    PlainCase{"About", &Shell::ShowAbout, "show about"}),
  testing::CaseName());
// clang-format on

struct QuitCase {
  const char* name;
  std::function<void(Shell&)> command;
  Strings calls;
};

class QuitTest : public ::testing::TestWithParam<QuitCase> {};

// Quitting stops nothing at the service: the domains keep resolving to the last address.
TEST_P(QuitTest, RemovesTheIconAndLogsTheStopLast) {
  ShellFixture f(Steps{UpdatedReply()});
  Started(f, true, true);
  GetParam().command(f.core.shell);
  EXPECT_EQ(f.desktop.calls, GetParam().calls);
  EXPECT_EQ(f.Tray().back(), "Delete 0 colour 解析成功");
  ASSERT_FALSE(f.lines.empty());
  EXPECT_EQ(f.lines.back(), kStopLine);
  EXPECT_EQ(f.Count(kStopLine), 1u);
  EXPECT_EQ(f.server->connections(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ways, QuitTest, ::testing::Values(
    QuitCase{"Menu", &Shell::Quit, {"hook removed", "tray", "unload about", "unload settings",
                                    "unload log viewer", "unload main"}},
    QuitCase{"AtOnce", &Shell::QuitAtOnce, {"hook removed", "tray", "end process"}}),
  testing::CaseName());
// clang-format on

struct GuardCase {
  const char* name;
  std::function<void()> handler;
  bool reported;
  std::string detail;  // what the report names; empty: anything
};

class GuardedTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardedTest, ReportsAnEscapingErrorAndGoesOn) {
  const GuardCase& c = GetParam();
  ShellFixture f;
  EXPECT_NO_THROW(f.core.shell.Guarded(c.handler));
  ASSERT_EQ(f.desktop.messages.size(), c.reported ? 1u : 0u);
  if (!c.reported) {
    EXPECT_TRUE(f.lines.empty());
    return;
  }
  const std::string prefix = "系统在运行过程中发生了一个错误,错误信息是:";
  const std::string& text = f.desktop.messages[0].text;
  EXPECT_EQ(text.substr(0, prefix.size()), prefix);
  if (!c.detail.empty()) {
    EXPECT_EQ(text, prefix + c.detail);
  }
  EXPECT_EQ(f.desktop.messages[0].title, "quorvixDDNS");
  EXPECT_EQ(f.lines, Strings{text});
}

INSTANTIATE_TEST_SUITE_P(Handlers, GuardedTest,
                         ::testing::Values(GuardCase{"Quiet", [] {}, false, ""},
                                           GuardCase{"RuntimeError",
                                                     [] { throw std::runtime_error("boom"); }, true,
                                                     "boom"},
                                           GuardCase{"NotAnException", [] { throw 7; }, true, ""}),
                         testing::CaseName());

}  // namespace
}  // namespace quorvix
