// The tray icon's requests: the hook around the icon's life, and the whole record in every
// request so that the shell never shows a half-updated icon.
#include "shell/tray_status.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using testing::Strings;

TEST(TrayStatusTest, SendsTheWholeRecordEachTimeInOrder) {
  testing::FakeDesktop desktop;
  TrayStatus tray(desktop);
  tray.AddTrayIcon();
  tray.SetTrayTip("x");
  tray.SetTrayIcon(TrayImage::Colour);
  tray.Stop_Connect_status(false);  // the image first, then the tip
  tray.Stop_Connect_status(true);
  tray.Start_Connect_status();  // keeps the colour
  tray.RemoveTrayIcon();
  Strings sent;
  std::size_t next = 0;
  for (const std::string& call : desktop.calls) {
    sent.push_back(call == "tray" ? testing::Describe(desktop.trayRequests.at(next++)) : call);
  }
  EXPECT_EQ(sent,
            (Strings{"hook installed", "Add 7 grey 正在连接", "Modify 7 grey x",
                     "Modify 7 colour x", "Modify 7 grey x", "Modify 7 grey 解析失败/停止",
                     "Modify 7 colour 解析失败/停止", "Modify 7 colour 解析成功",
                     "Modify 7 colour 正在连接", "hook removed", "Delete 0 colour 正在连接"}));
  EXPECT_FALSE(desktop.hookInstalled);
}

}  // namespace
}  // namespace quorvix
