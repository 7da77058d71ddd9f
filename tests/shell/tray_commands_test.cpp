// The tray menu's update commands, quitting, and the guard that keeps a failing handler from
// ending the program.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

constexpr const char* kFailedLine = "域名动态解析失败";

struct UpdateCase {
  const char* name;
  bool refresh;  // else stop
  bool lastOk;   // before the command
  ServerStep reply;
  bool returned, finalOk, timer, failedLine;
  Strings calls;  // the desktop requests of the command
};

class UpdateCommandTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateCommandTest, ShowsTheOutcome) {
  const UpdateCase& c = GetParam();
  ShellFixture f({c.reply});
  f.Started(c.lastOk);
  EXPECT_EQ(c.refresh ? f.core.shell.Refresh() : f.core.shell.Stop(), c.returned);
  EXPECT_EQ(f.Commands(), Strings{c.refresh ? "START" : "STOP"});
  EXPECT_EQ(f.core.state.lastUpdateOk, c.finalOk);
  EXPECT_EQ(f.desktop.watchTimer, c.timer);
  EXPECT_EQ(f.Logged(kFailedLine), c.failedLine);
  EXPECT_EQ(f.desktop.calls, c.calls);
  EXPECT_EQ(f.Tray().back(),
            c.finalOk ? "Modify 7 colour 解析成功" : "Modify 7 grey 解析失败/停止");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, UpdateCommandTest, ::testing::Values(
    //         name              refresh lastOk reply           returned finalOk timer  failedLine calls
    UpdateCase{"RefreshUpdated", true,   false, UpdatedReply(), true,    true,   true,  false, {"timer on", "tray", "tray"}},
    UpdateCase{"RefreshRefused", true,   true,  RefusedReply(), false,   false,  true,  true,  {"show log viewer", "tray", "tray"}},
    UpdateCase{"StopAccepted",   false,  true,  UpdatedReply(), true,    false,  false, false, {"timer off", "tray", "tray"}},
    UpdateCase{"StopRefused",    false,  true,  RefusedReply(), false,   true,   true,  false, {"tray", "tray"}}),
  CaseName());
// clang-format on

class QuitTest : public ::testing::TestWithParam<bool> {};

// Quitting stops nothing at the service: the domains keep resolving to the last address.
TEST_P(QuitTest, RemovesTheIconAndLogsTheStopLast) {
  const bool atOnce = GetParam();
  ShellFixture f({UpdatedReply()});
  f.Started(true);
  atOnce ? f.core.shell.QuitAtOnce() : f.core.shell.Quit();
  const Strings menu{"hook removed",      "tray",       "unload about", "unload settings",
                     "unload log viewer", "unload main"};
  EXPECT_EQ(f.desktop.calls, (atOnce ? Strings{"hook removed", "tray", "end process"} : menu));
  EXPECT_EQ(f.Tray().back(), "Delete 0 colour 解析成功");
  EXPECT_EQ(f.lines, Strings{"quorvixDDNS(ver1.1)停止!"});
  EXPECT_EQ(f.Commands(), Strings{});
}

INSTANTIATE_TEST_SUITE_P(MenuOrAtOnce, QuitTest, ::testing::Bool());

TEST(GuardedTest, ReportsAnEscapingErrorAndGoesOn) {
  const std::string prefix = "系统在运行过程中发生了一个错误,错误信息是:";
  ShellFixture f;
  EXPECT_NO_THROW(f.core.shell.Guarded([] { throw std::runtime_error("boom"); }));
  EXPECT_NO_THROW(f.core.shell.Guarded([] { throw 7; }));
  ASSERT_EQ(f.desktop.messages.size(), 2u);
  EXPECT_EQ(f.desktop.messages[0].text, prefix + "boom");
  EXPECT_TRUE(f.desktop.messages[1].text.starts_with(prefix)) << f.desktop.messages[1].text;
  EXPECT_EQ(f.desktop.messages[1].title, "quorvixDDNS");
  EXPECT_EQ(f.lines, (Strings{f.desktop.messages[0].text, f.desktop.messages[1].text}));
}

}  // namespace
}  // namespace quorvix
