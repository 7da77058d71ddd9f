// The Qt front-end is wired to the logic: the menu, the icon's mouse actions, the timer, and
// the Quit item locked while the start-up runs.
#include "ui/qt/frm_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <memory>

#include "support/loopback_setup.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

class FrmMainTest : public ::testing::Test {
 protected:
  // A client whose service listens on `port` (by default nothing does), attached to the window.
  ClientCore& Attach(std::uint16_t port = testing::UnusedPort()) {
    core_ = std::make_unique<ClientCore>(window_, clock_, testing::LoopbackSetup(dir_, port));
    window_.Attach(core_->shell, core_->state);
    return *core_;
  }
  std::string Tip() const { return window_.trayIcon()->toolTip().toStdString(); }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  frmMain window_;
  std::unique_ptr<ClientCore> core_;
};

TEST_F(FrmMainTest, MenuHasItsNineItemsInOrder) {
  Attach();
  std::string items;
  for (const QAction* item : window_.trayMenu()->actions()) {
    items += item->objectName().toStdString() + "=" + item->text().toStdString() +
             (item->isSeparator() ? "-" : "") +
             (item->isEnabled() && item->isVisible() ? " " : "? ");
  }
  EXPECT_EQ(
      items,
      "mnuTrayLog=日志记录 mnuTrayUpdate=升级软件 mnuTrayFlush=刷新解析 mnuTrayStop=停止解析 "
      "mnuTraySetup=参数设置 menuTrayLine=- mnuTrayHelp=帮助 mnuTrayAbout=关于 mnuTrayQuit=退出 ");
  EXPECT_EQ(window_.watchTimer()->interval(), 60000);
  EXPECT_FALSE(window_.watchTimer()->isActive());
}

TEST_F(FrmMainTest, QuitIsLockedWhileTheStartUpRuns) {
  // No domains and no service: the start-up opens the settings dialog, goes on when the
  // stand-in closes it, then shows the log viewer as nothing was updated.
  ClientCore& core = Attach();
  QAction* quit = window_.findChild<QAction*>(QStringLiteral("mnuTrayQuit"));
  ASSERT_NE(quit, nullptr);
  std::vector<bool> quitEnabledWhenShown;
  QObject::connect(&window_, &frmMain::windowRequested,
                   [&](Window) { quitEnabledWhenShown.push_back(quit->isEnabled()); });
  core.shell.RunStartup(false);
  EXPECT_EQ(quitEnabledWhenShown, (std::vector<bool>{false, false}));
  EXPECT_TRUE(quit->isEnabled());
  EXPECT_EQ(Tip(), "解析失败/停止");
}

TEST_F(FrmMainTest, OnlyALeftDoubleClickOnTheIconOpensTheSettings) {
  ClientCore& core = Attach();
  core.shell.tray().AddTrayIcon();
  EXPECT_EQ(window_.trayIcon()->contextMenu(), window_.trayMenu());
  QSignalSpy requests(&window_, &frmMain::windowRequested);
  for (const auto reason :
       {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context,
        QSystemTrayIcon::Unknown, QSystemTrayIcon::DoubleClick}) {
    emit window_.trayIcon()->activated(reason);
  }
  ASSERT_EQ(requests.count(), 1);
  EXPECT_EQ(requests.at(0).at(0).value<Window>(), Window::Settings);

  // Once the icon is removed its mouse actions no longer reach the program.
  core.shell.tray().RemoveTrayIcon();
  emit window_.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(requests.count(), 1);
  EXPECT_FALSE(window_.trayIcon()->isVisible());
}

TEST_F(FrmMainTest, SuccessfulStartUpShowsColourAndRunsTheWatch) {
  testing::ScriptServer server(
      {testing::VersionReply(1, 1), testing::AddressReply("127.0.0.1"), testing::UpdatedReply()});
  ClientCore& core = Attach(server.port());
  ASSERT_TRUE(core.store.WriteSetting(kSettingDomains, "a.com|pw,"));
  core.shell.RunStartup(false);
  EXPECT_EQ(Tip(), "解析成功");
  const auto image = [](const QIcon& icon) {
    return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
  };
  const QImage colour = image(QIcon(QStringLiteral(":/icons/tray-colour-16.png")));
  ASSERT_FALSE(colour.isNull());
  EXPECT_EQ(image(window_.trayIcon()->icon()), colour);
  EXPECT_TRUE(window_.watchTimer()->isActive());
  EXPECT_EQ(server.connections(), 3);
}

}  // namespace
}  // namespace quorvix
