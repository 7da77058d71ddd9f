// The public-IP watch: a check every 30th tick, an update when the address changed or the last
// update failed, and a tray redrawn only when the outcome changes.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

constexpr std::string_view kOld = "203.0.113.7";
constexpr std::string_view kNew = "198.51.100.4";
const std::string kChanged = "系统检测到您公网IP变动,新IP=198.51.100.4,尝试自动更新...";
const Strings kToGrey{"Modify 7 grey 解析成功", "Modify 7 grey 解析失败/停止"};
const Strings kToColour{"Modify 7 colour 解析失败/停止", "Modify 7 colour 解析成功"};

struct WatchCase {
  const char* name;
  std::string_view previousIp;
  bool lastOk;
  Steps script;
  Strings commands;
  Strings lines;  // the watch's own, among everything the commands log
  bool finalOk;
  std::string_view finalIp;
  Strings tray;  // requests sent by the check
};

class WatchCheckTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchCheckTest, ChecksEveryThirtiethTick) {
  const WatchCase& c = GetParam();
  ShellFixture f(c.script);
  f.Started(c.lastOk);
  f.core.state.publicIp = c.previousIp;

  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.server.connections(), 0);
  EXPECT_EQ(f.lines, Strings{});

  f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands(), c.commands);
  Strings lines;
  for (const std::string& line : f.lines) {
    if (line.starts_with("系统检测到") || line.starts_with("更新IP")) lines.push_back(line);
  }
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(f.core.state.lastUpdateOk, c.finalOk);
  EXPECT_EQ(f.core.state.publicIp, c.finalIp);
  EXPECT_EQ(f.Tray(), c.tray);

  // The count starts again whatever the check found.
  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands().size(), c.commands.size());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Checks, WatchCheckTest, ::testing::Values(
    //        name                          before ok     script                               commands            watch's lines             ok     after tray
    WatchCase{"Unchanged",                  kOld,  true,  {AddressReply(kOld)},                 {"GETIP"},          {},                       true,  kOld, {}},
    WatchCase{"ChangedUpdated",             kOld,  true,  {AddressReply(kNew), UpdatedReply()}, {"GETIP", "START"}, {kChanged, "更新IP成功"}, true,  kNew, {}},
    WatchCase{"ChangedRefused",             kOld,  true,  {AddressReply(kNew), RefusedReply()}, {"GETIP", "START"}, {kChanged, "更新IP失败"}, false, kNew, kToGrey},
    WatchCase{"RetriedAndUpdated",          kOld,  false, {AddressReply(kOld), UpdatedReply()}, {"GETIP", "START"}, {"更新IP成功"},           true,  kOld, kToColour},
    WatchCase{"RetriedAndRefused",          kOld,  false, {AddressReply(kOld), RefusedReply()}, {"GETIP", "START"}, {"更新IP失败"},           false, kOld, {}},
    WatchCase{"AddressUnknownAfterFailure", kOld,  false, {Dropped()},                          {"GETIP"},          {},                       false, kOld, {}},
    WatchCase{"FirstAddressCountsAsChange", "",    true,  {AddressReply(kNew), UpdatedReply()}, {"GETIP", "START"}, {kChanged, "更新IP成功"}, true,  kNew, {}}),
  CaseName());
// clang-format on

}  // namespace
}  // namespace quorvix
