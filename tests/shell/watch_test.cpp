// The public-IP watch: a check every 30th tick, an update when the address changed or the last
// update failed, and a tray that follows the outcome.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using testing::AddressReply;
using testing::Dropped;
using testing::RefusedReply;
using testing::ServerStep;
using testing::ShellFixture;
using testing::UpdatedReply;
using Steps = std::vector<ServerStep>;

constexpr std::string_view kOld = "203.0.113.7";
constexpr std::string_view kNew = "198.51.100.4";

std::string ChangedLine(std::string_view address) {
  return "系统检测到您公网IP变动,新IP=" + std::string(address) + ",尝试自动更新...";
}

// The watch's own lines among everything the commands log.
std::vector<std::string> WatchLines(const ShellFixture& f) {
  std::vector<std::string> found;
  for (const std::string& line : f.lines) {
    if (line.rfind("系统检测到", 0) == 0 || line.rfind("更新IP", 0) == 0) found.push_back(line);
  }
  return found;
}

const std::vector<std::string> kToGrey{"Modify 7 grey 解析成功", "Modify 7 grey 解析失败/停止"};
const std::vector<std::string> kToColour{"Modify 7 colour 解析失败/停止",
                                         "Modify 7 colour 解析成功"};

struct WatchCase {
  const char* name;
  std::string_view previousIp;
  bool lastOk;
  Steps script;
  std::vector<std::string> commands;
  std::vector<std::string> lines;
  bool finalOk;
  std::string_view finalIp;
  std::vector<std::string> tray;  // requests sent by the check
};

class WatchCheckTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchCheckTest, ChecksEveryThirtiethTick) {
  const WatchCase& c = GetParam();
  ShellFixture f(c.script);
  f.StoreDomains();
  f.core.shell.InitApp();
  f.core.state.publicIp = c.previousIp;
  f.core.state.lastUpdateOk = c.lastOk;
  f.core.shell.tray().Stop_Connect_status(c.lastOk);
  const std::size_t trayBefore = f.desktop.trayRequests.size();
  const std::size_t linesBefore = f.lines.size();

  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.server->connections(), 0);
  EXPECT_EQ(f.lines.size(), linesBefore);
  EXPECT_EQ(f.core.state.ipCheckTicks, 29);

  f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands(), c.commands);
  EXPECT_EQ(WatchLines(f), c.lines);
  EXPECT_EQ(f.core.state.lastUpdateOk, c.finalOk);
  EXPECT_EQ(f.core.state.publicIp, c.finalIp);
  EXPECT_EQ(f.Tray(trayBefore), c.tray);
  EXPECT_EQ(f.core.state.ipCheckTicks, 0);

  // The count starts again whatever the check found.
  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands().size(), c.commands.size());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Checks, WatchCheckTest, ::testing::Values(
    //        name                          before     ok     script                               commands            watch's lines                   ok     after  tray
    WatchCase{"Unchanged",                  kOld, true,  {AddressReply(kOld)},                 {"GETIP"},          {},                             true,  kOld, {}},
    WatchCase{"ChangedUpdated",             kOld, true,  {AddressReply(kNew), UpdatedReply()}, {"GETIP", "START"}, {ChangedLine(kNew), "更新IP成功"}, true,  kNew, {}},
    WatchCase{"ChangedRefused",             kOld, true,  {AddressReply(kNew), RefusedReply()}, {"GETIP", "START"}, {ChangedLine(kNew), "更新IP失败"}, false, kNew, kToGrey},
    WatchCase{"FailedBeforeUpdatedNow",     kOld, false, {AddressReply(kOld), UpdatedReply()}, {"GETIP", "START"}, {"更新IP成功"},                 true,  kOld, kToColour},
    WatchCase{"FailedBeforeFailsAgain",     kOld, false, {AddressReply(kOld), RefusedReply()}, {"GETIP", "START"}, {"更新IP失败"},                 false, kOld, {}},
    WatchCase{"AddressUnknown",             kOld, true,  {Dropped()},                          {"GETIP"},          {},                             true,  kOld, {}},
    WatchCase{"AddressUnknownAfterFailure", kOld, false, {Dropped()},                          {"GETIP"},          {},                             false, kOld, {}},
    WatchCase{"FirstAddressCountsAsChange", "",   true,  {AddressReply(kNew), UpdatedReply()}, {"GETIP", "START"}, {ChangedLine(kNew), "更新IP成功"}, true,  kNew, {}}),
  testing::CaseName());
// clang-format on

// A start-up without network leaves the watch running; its first check repairs the update.
TEST(WatchTest, RecoversAStartupWithoutNetwork) {
  ShellFixture f(Steps{Dropped(), Dropped(), RefusedReply(), RefusedReply(), RefusedReply(),
                       AddressReply(kNew), UpdatedReply()});
  f.StoreDomains();
  f.core.shell.RunStartup(false);
  ASSERT_FALSE(f.core.state.lastUpdateOk);
  ASSERT_TRUE(f.desktop.watchTimer);
  const std::size_t trayBefore = f.desktop.trayRequests.size();

  for (int tick = 0; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands(), (std::vector<std::string>{"GETVER", "GETIP", "START", "START", "START",
                                                    "GETIP", "START"}));
  EXPECT_EQ(WatchLines(f), (std::vector<std::string>{ChangedLine(kNew), "更新IP成功"}));
  EXPECT_TRUE(f.core.state.lastUpdateOk);
  EXPECT_EQ(f.Tray(trayBefore), kToColour);
}

}  // namespace
}  // namespace quorvix
