// The Qt front-end is wired to the logic: the menu, the icon's mouse actions, the timer, and
// the Quit item locked while the start-up runs.
#include "shell/frm_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>

#include "platform/settings_backend_posix.h"
#include "shell/client_core.h"
#include "support/fake_clock.h"
#include "support/loopback_setup.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using testing::FakeClock;
using testing::TempDir;

class FrmMainTest : public ::testing::Test {
 protected:
  ClientSetup Setup(std::uint16_t port) { return testing::LoopbackSetup(dir_, port); }

  TempDir dir_;
  FakeClock clock_;
  frmMain window_;
};

TEST_F(FrmMainTest, MenuHasItsNineItemsInOrder) {
  ClientCore core(window_, clock_, Setup(testing::UnusedPort()));
  window_.Attach(core.shell, core.state);
  const QList<QAction*> items = window_.trayMenu()->actions();
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"mnuTrayLog", "日志记录"},  {"mnuTrayUpdate", "升级软件"}, {"mnuTrayFlush", "刷新解析"},
      {"mnuTrayStop", "停止解析"}, {"mnuTraySetup", "参数设置"},  {"menuTrayLine", ""},
      {"mnuTrayHelp", "帮助"},     {"mnuTrayAbout", "关于"},      {"mnuTrayQuit", "退出"}};
  ASSERT_EQ(items.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const QAction* item = items[static_cast<qsizetype>(i)];
    EXPECT_EQ(item->objectName().toStdString(), expected[i].first);
    EXPECT_EQ(item->text().toStdString(), expected[i].second);
    EXPECT_EQ(item->isSeparator(), i == 5);
    EXPECT_TRUE(item->isEnabled() && item->isVisible());
  }
  EXPECT_EQ(window_.trayMenu()->title().toStdString(), "Popup");
  EXPECT_EQ(window_.watchTimer()->interval(), 60000);
  EXPECT_FALSE(window_.watchTimer()->isActive());
}

TEST_F(FrmMainTest, QuitIsLockedWhileTheStartUpRuns) {
  // No domains and no service: the start-up opens the settings dialog and goes on when the
  // stand-in closes it.
  ClientCore core(window_, clock_, Setup(testing::UnusedPort()));
  window_.Attach(core.shell, core.state);
  QAction* quit = window_.findChild<QAction*>(QStringLiteral("mnuTrayQuit"));
  ASSERT_NE(quit, nullptr);
  std::vector<bool> quitEnabledWhenShown;
  QObject::connect(&window_, &frmMain::windowRequested,
                   [&](Window) { quitEnabledWhenShown.push_back(quit->isEnabled()); });
  core.shell.RunStartup(false);
  // The settings dialog (no domains), then the log viewer (nothing updated).
  ASSERT_EQ(quitEnabledWhenShown.size(), 2u);
  EXPECT_FALSE(quitEnabledWhenShown[0]);
  EXPECT_FALSE(quitEnabledWhenShown[1]);
  EXPECT_TRUE(quit->isEnabled());
  EXPECT_FALSE(core.state.setupWaiting);
  EXPECT_EQ(window_.trayIcon()->toolTip().toStdString(), "解析失败/停止");
  EXPECT_FALSE(window_.watchTimer()->isActive());
}

TEST_F(FrmMainTest, OnlyALeftDoubleClickOnTheIconOpensTheSettings) {
  ClientCore core(window_, clock_, Setup(testing::UnusedPort()));
  window_.Attach(core.shell, core.state);
  core.shell.tray().AddTrayIcon();
  QSignalSpy requests(&window_, &frmMain::windowRequested);
  for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick,
                            QSystemTrayIcon::Context, QSystemTrayIcon::Unknown}) {
    emit window_.trayIcon()->activated(reason);
  }
  EXPECT_EQ(requests.count(), 0);
  emit window_.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  ASSERT_EQ(requests.count(), 1);
  EXPECT_EQ(requests.at(0).at(0).value<Window>(), Window::Settings);
  EXPECT_EQ(window_.trayIcon()->contextMenu(), window_.trayMenu());

  // Once the icon is removed its mouse actions no longer reach the program.
  core.shell.tray().RemoveTrayIcon();
  emit window_.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(requests.count(), 1);
  EXPECT_FALSE(window_.trayIcon()->isVisible());
}

TEST_F(FrmMainTest, SuccessfulStartUpShowsColourAndRunsTheWatch) {
  using testing::HttpReply;
  using testing::ServerStep;
  testing::ScriptServer server({
      ServerStep::Replying(HttpReply({"RET-CODE: 200", "Major: 1", "Minor: 1"})),
      ServerStep::Replying(HttpReply({"RET-CODE: 200", "Y-IP: 127.0.0.1"})),
      ServerStep::Replying(HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"})),
  });
  ClientCore core(window_, clock_, Setup(server.port()));
  ASSERT_TRUE(core.store.WriteSetting("domains", "a.com|pw,"));
  window_.Attach(core.shell, core.state);
  core.shell.RunStartup(false);
  EXPECT_TRUE(core.state.lastUpdateOk);
  EXPECT_EQ(window_.trayIcon()->toolTip().toStdString(), "解析成功");
  EXPECT_TRUE(window_.watchTimer()->isActive());
  EXPECT_EQ(server.connections(), 3);
}

}  // namespace
}  // namespace quorvix

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
