// The tray icon's requests: the hook around the icon's life, and the whole record in every
// request so that the shell never shows a half-updated icon.
#include "shell/tray_status.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/fake_desktop.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using testing::Describe;
using testing::FakeDesktop;

TEST(TrayStatusTest, AddInstallsTheHookBeforeTheGreyConnectingIcon) {
  FakeDesktop desktop;
  TrayStatus tray(desktop);
  tray.AddTrayIcon();
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"hook installed", "tray"}));
  ASSERT_EQ(desktop.trayRequests.size(), 1u);
  EXPECT_EQ(Describe(desktop.trayRequests[0]), "Add 7 grey 正在连接");
  EXPECT_TRUE(desktop.hookInstalled);
}

TEST(TrayStatusTest, RemoveTakesTheHookAwayBeforeDeletingWithNoFlags) {
  FakeDesktop desktop;
  TrayStatus tray(desktop);
  tray.AddTrayIcon();
  tray.Stop_Connect_status(true);
  desktop.calls.clear();
  tray.RemoveTrayIcon();
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"hook removed", "tray"}));
  EXPECT_EQ(Describe(desktop.trayRequests.back()), "Delete 0 colour 解析成功");
  EXPECT_FALSE(desktop.hookInstalled);
}

// Each case starts from a freshly added icon (grey, "正在连接") and lists the modify requests
// it must send.
struct TrayCase {
  const char* name;
  std::function<void(TrayStatus&)> act;
  std::vector<std::string> requests;
};

class TrayModifyTest : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayModifyTest, SendsTheWholeRecordEachTime) {
  FakeDesktop desktop;
  TrayStatus tray(desktop);
  tray.AddTrayIcon();
  desktop.trayRequests.clear();
  GetParam().act(tray);
  std::vector<std::string> sent;
  for (const auto& request : desktop.trayRequests) sent.push_back(Describe(request));
  EXPECT_EQ(sent, GetParam().requests);
  ASSERT_FALSE(desktop.trayRequests.empty());
  // What the icon shows is what the status remembers for the next request.
  EXPECT_EQ(tray.record().tip, desktop.trayRequests.back().record.tip);
  EXPECT_EQ(tray.record().image, desktop.trayRequests.back().record.image);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, TrayModifyTest,
    ::testing::Values(TrayCase{"TipKeepsImage",
                               [](TrayStatus& status) {
                                 status.SetTrayTip("尝试第1次更新域名解析");
                               },
                               {"Modify 7 grey 尝试第1次更新域名解析"}},
                      TrayCase{"ImageKeepsTip",
                               [](TrayStatus& status) {
                                 status.SetTrayTip("x");
                                 status.SetTrayIcon(TrayImage::Colour);
                               },
                               {"Modify 7 grey x", "Modify 7 colour x"}},
                      TrayCase{"SuccessImageBeforeTip",
                               [](TrayStatus& status) { status.Stop_Connect_status(true); },
                               {"Modify 7 colour 正在连接", "Modify 7 colour 解析成功"}},
                      TrayCase{"FailureAfterSuccess",
                               [](TrayStatus& status) {
                                 status.Stop_Connect_status(true);
                                 status.Stop_Connect_status(false);
                               },
                               {"Modify 7 colour 正在连接", "Modify 7 colour 解析成功",
                                "Modify 7 grey 解析成功", "Modify 7 grey 解析失败/停止"}},
                      TrayCase{"ConnectingKeepsColour",
                               [](TrayStatus& status) {
                                 status.Stop_Connect_status(true);
                                 status.Start_Connect_status();
                               },
                               {"Modify 7 colour 正在连接", "Modify 7 colour 解析成功",
                                "Modify 7 colour 正在连接"}}),
    testing::CaseName());

}  // namespace
}  // namespace quorvix
