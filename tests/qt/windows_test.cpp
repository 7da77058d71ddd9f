// The real settings dialog, log viewer and About box, built through WindowSet over a real client
// core and a recording desktop, driven with Qt Test on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <stdexcept>
#include <string>
#include <vector>

#include "build_config.h"
#include "platform/settings_backend_posix.h"
#include "shell/client_core.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/loopback_setup.h"
#include "support/script_server.h"
#include "support/shell_fixture.h"
#include "support/temp_dir.h"
#include "ui/qt_text.h"
#include "ui/windows/about.h"
#include "ui/windows/window_set.h"

namespace quorvix {
namespace {

using testing::FileExists;
using testing::TempDir;

template <typename T>
T* Child(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(QLatin1String(name));
  if (child == nullptr) throw std::runtime_error(std::string("no child ") + name);
  return child;
}

// What a Chinese input method delivers: QTest cannot type these characters.
void Commit(QWidget* widget, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(widget, &event);
}

// Closed windows go when control is back in the event loop.
void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string Lines(int from, int to) {
  std::string text;
  for (int i = from; i < to; ++i) text += "2008-6-12 14:05:09\t第" + std::to_string(i) + "行\r\n";
  return text;
}

// The box is scrolled just far enough for the newest line to show whole at its bottom, and
// the scroll position is the first line shown.
void ExpectNewestLineAtTheBottom(const QPlainTextEdit& text, int lines, int scrolled) {
  const QRect box = text.viewport()->rect();
  const QRect newest = text.cursorRect(QTextCursor(text.document()->findBlockByNumber(lines - 1)));
  EXPECT_TRUE(box.contains(newest)) << "newest line at " << newest.y() << ", box " << box.height();
  EXPECT_GT(newest.bottom() + newest.height(), box.bottom()) << "scrolled too far";
  EXPECT_EQ(text.cursorForPosition(QPoint(1, 1)).blockNumber(), scrolled);
  EXPECT_GT(scrolled, 0);
}

class WindowsTest : public ::testing::Test {
 protected:
  WindowsTest()
      : server_({testing::UpdatedReply()}),
        core_(desktop_, clock_, MakeSetup()),
        windows_(core_.services(), core_.shell, desktop_) {
    desktop_.onShow = [this](Window window) { windows_.Show(window); };
  }

  ClientSetup MakeSetup() {
    return testing::LoopbackSetup(dir_, server_.port(), std::chrono::milliseconds(1000));
  }

  frmSetup* ShowSetup() {
    windows_.Show(Window::Settings);
    if (windows_.setup() == nullptr) throw std::runtime_error("no settings dialog");
    return windows_.setup();
  }

  TempDir dir_;
  testing::FakeDesktop desktop_;
  testing::FakeClock clock_;
  testing::ScriptServer server_;
  ClientCore core_;
  WindowSet windows_;
};

TEST_F(WindowsTest, SetupTypingAddsAndOkSavesAndCloses) {
  core_.state.setupWaiting = true;
  frmSetup* setup = ShowSetup();
  auto* domain = Child<QLineEdit>(setup, "strDomain");
  auto* password = Child<QLineEdit>(setup, "Password");
  auto* list = Child<QListWidget>(setup, "domainList");
  EXPECT_EQ(setup->focusWidget(), domain);

  QTest::keyClicks(domain, "a.com");
  Commit(password, QStringLiteral("密码"));
  QTest::mouseClick(Child<QPushButton>(setup, "cmdNew"), Qt::LeftButton);
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("a.com"));
  EXPECT_TRUE(domain->text().isEmpty());
  EXPECT_TRUE(password->text().isEmpty());

  auto* autoRun = Child<QCheckBox>(setup, "chkAutoRun");
  QTest::mouseClick(autoRun, Qt::LeftButton, {}, QPoint(6, autoRun->height() / 2));
  EXPECT_TRUE(autoRun->isChecked());

  QTest::mouseClick(Child<QPushButton>(setup, "cmdOkay"), Qt::LeftButton);
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(core_.store.ReadSetting(kSettingDomains), "a.com|密码,");
  EXPECT_EQ(core_.store.ReadSetting(kSettingAutoRun), "true");
  EXPECT_TRUE(FileExists(dir_ / "autostart/quorvixDDNS.desktop"));
  EXPECT_EQ(server_.connections(), 1);
  EXPECT_TRUE(core_.state.lastUpdateOk);
  EXPECT_FALSE(setup->isVisible());
  EXPECT_FALSE(core_.state.setupWaiting);
  RunDeferredDeletes();
  EXPECT_EQ(windows_.setup(), nullptr);
}

TEST_F(WindowsTest, SetupRefusalGoesThroughTheDesktopAndMovesTheFocus) {
  frmSetup* setup = ShowSetup();
  auto* domain = Child<QLineEdit>(setup, "strDomain");
  auto* password = Child<QLineEdit>(setup, "Password");
  Commit(domain, QStringLiteral("中文.com"));
  QTest::keyClicks(password, "pw");
  password->setFocus();
  QTest::mouseClick(Child<QPushButton>(setup, "cmdNew"), Qt::LeftButton);
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, "域名无效,请输入正确的域名");
  EXPECT_EQ(setup->focusWidget(), domain);
  EXPECT_EQ(domain->text(), QStringLiteral("中文.com"));
  EXPECT_EQ(Child<QListWidget>(setup, "domainList")->count(), 0);
}

TEST_F(WindowsTest, SetupLayoutIsFixed) {
  frmSetup* setup = ShowSetup();
  QWidget* client = Child<QWidget>(setup, "client");
  auto* bar = Child<QMenuBar>(setup, "menuBar");
  // Positions in the client area below the menu bar.
  const struct {
    const char* name;
    QRect rect;
  } cases[] = {
      {"Frame1", {16, 16, 265, 137}},      {"strDomain", {80, 40, 169, 25}},
      {"Password", {80, 80, 169, 25}},     {"cmdNew", {80, 120, 65, 25}},
      {"cmdDel", {184, 120, 65, 25}},      {"Frame2", {16, 168, 265, 185}},
      {"domainList", {24, 192, 249, 148}}, {"chkAutoRun", {56, 384, 185, 17}},
      {"chkMX", {56, 408, 169, 17}},       {"chkLogVerbose", {56, 432, 145, 17}},
      {"cmdOkay", {48, 480, 97, 25}},      {"cmdCancel", {168, 480, 89, 25}},
  };
  for (const auto& c : cases) {
    const QWidget* widget = Child<QWidget>(setup, c.name);
    EXPECT_EQ(QRect(widget->mapTo(client, QPoint(0, 0)), widget->size()), c.rect) << c.name;
  }
  EXPECT_EQ(client->geometry(), QRect(0, bar->height(), 300, 519));
  EXPECT_EQ(setup->size(), QSize(300, bar->height() + 519));
  EXPECT_EQ(setup->minimumSize(), setup->maximumSize());
  EXPECT_FALSE(setup->windowFlags() &
               (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  // Every menu fits in the bar instead of folding into its overflow button.
  for (QAction* menu : bar->actions()) {
    EXPECT_TRUE(bar->rect().contains(bar->actionGeometry(menu))) << Utf8(menu->text());
  }
}

TEST_F(WindowsTest, SetupTabOrderAndNoDefaultButton) {
  frmSetup* setup = ShowSetup();
  const QStringList expected = {"strDomain", "Password",      "cmdNew",     "domainList",
                                "cmdDel",    "cmdOkay",       "chkAutoRun", "chkMX",
                                "cmdCancel", "chkLogVerbose", "strDomain"};
  QStringList order;
  QWidget* widget = Child<QWidget>(setup, "strDomain");
  for (int steps = 0; order.size() < expected.size() && steps < 200; ++steps) {
    if (widget->focusPolicy() & Qt::TabFocus) order << widget->objectName();
    widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(order, expected);

  for (const QPushButton* button : setup->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << Utf8(button->objectName());
    EXPECT_FALSE(button->autoDefault()) << Utf8(button->objectName());
  }
  // Enter and Esc press no button.
  auto* password = Child<QLineEdit>(setup, "Password");
  QTest::keyClicks(Child<QLineEdit>(setup, "strDomain"), "a.com");
  QTest::keyClicks(password, "pw");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(password, key);
  }
  EXPECT_EQ(Child<QListWidget>(setup, "domainList")->count(), 0);
  EXPECT_TRUE(setup->isVisible());
}

TEST_F(WindowsTest, SetupMenus) {
  frmSetup* setup = ShowSetup();
  using Items = std::vector<std::pair<const char*, const char*>>;
  const struct {
    const char* name;
    const char* title;
    Items items;
  } menus[] = {
      {"mnuFile",
       "解析(&F)",
       {{"mnuFresh", "刷新解析"}, {"mnuStop", "停止解析"}, {"mnuLine", ""}, {"mnuQuit", "退出"}}},
      {"mnuLogMain", "日志(&L)", {{"mnuLog", "日志记录"}}},
      {"mnuUpdateMain", "升级(&U)", {{"mnuUpdate", "升级软件"}}},
      {"menuHelpMain", "帮助(&H)", {{"mnuHelp", "帮助"}, {"mnubuy", "购买"}, {"mnuAbout", "关于"}}},
  };
  const QList<QAction*> bar = Child<QMenuBar>(setup, "menuBar")->actions();
  ASSERT_EQ(bar.size(), 4);
  for (std::size_t m = 0; m < std::size(menus); ++m) {
    const QMenu* menu = bar[static_cast<qsizetype>(m)]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Utf8(menu->objectName()), menus[m].name);
    EXPECT_EQ(Utf8(menu->title()), menus[m].title);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(static_cast<std::size_t>(items.size()), menus[m].items.size()) << menus[m].name;
    for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
      const QAction* item = items[static_cast<qsizetype>(i)];
      EXPECT_EQ(Utf8(item->objectName()), menus[m].items[i].first);
      EXPECT_EQ(Utf8(item->text()), menus[m].items[i].second);
      EXPECT_EQ(item->isSeparator(), std::string_view(menus[m].items[i].second).empty());
    }
  }

  // Each item reaches its own command.
  const std::string site = "http://" + std::string(build::kWebHost);
  const struct {
    const char* item;
    std::vector<std::string> pages;
    std::vector<Window> shown;
  } triggers[] = {
      {"mnuUpdate", {site + "/ddns/default.asp#3"}, {}},
      {"mnuHelp", {site + "/ddns/howuse.asp"}, {}},
      {"mnubuy", {site + "/ddns/register.asp"}, {}},
      {"mnuLog", {}, {Window::LogViewer}},
      {"mnuAbout", {}, {Window::About}},
  };
  for (const auto& t : triggers) {
    desktop_.pages.clear();
    desktop_.shown.clear();
    setup->findChild<QAction*>(QLatin1String(t.item))->trigger();
    EXPECT_EQ(desktop_.pages, t.pages) << t.item;
    EXPECT_EQ(desktop_.shown, t.shown) << t.item;
  }
  EXPECT_NE(windows_.logViewer(), nullptr);
  EXPECT_NE(windows_.about(), nullptr);
}

TEST_F(WindowsTest, EachWindowExistsOnce) {
  frmSetup* first = ShowSetup();
  EXPECT_EQ(ShowSetup(), first);
  int dialogs = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    dialogs += qobject_cast<frmSetup*>(window) != nullptr ? 1 : 0;
  }
  EXPECT_EQ(dialogs, 1);
  windows_.Show(Window::About);
  frmAbout* about = windows_.about();
  windows_.Show(Window::About);
  EXPECT_EQ(windows_.about(), about);
}

TEST_F(WindowsTest, LogViewerReadsTheFileOnceWhenOpened) {
  const std::string log = dir_ / "quorvixDDNS.log";
  testing::WriteFile(log, Lines(0, 100));
  windows_.Show(Window::LogViewer);
  frmViewLog* viewer = windows_.logViewer();
  ASSERT_NE(viewer, nullptr);
  auto* text = Child<QPlainTextEdit>(viewer, "txtLog");
  const auto shown = [&] { return Utf8(text->toPlainText().remove(QLatin1Char('\r'))); };
  std::string expected = Lines(0, 100);
  std::erase(expected, '\r');
  EXPECT_EQ(shown(), expected);
  ExpectNewestLineAtTheBottom(*text, 100, viewer->scrolledLines());

  // Shown again while open: the same window, the text as it was.
  testing::WriteFile(log, Lines(0, 101));
  windows_.Show(Window::LogViewer);
  EXPECT_EQ(windows_.logViewer(), viewer);
  EXPECT_EQ(shown(), expected);

  // Closed and shown again: read afresh.
  QTest::mouseClick(Child<QPushButton>(viewer, "Command1"), Qt::LeftButton);
  RunDeferredDeletes();
  windows_.Show(Window::LogViewer);
  viewer = windows_.logViewer();
  ASSERT_NE(viewer, nullptr);
  text = Child<QPlainTextEdit>(viewer, "txtLog");
  expected = Lines(0, 101);
  std::erase(expected, '\r');
  EXPECT_EQ(shown(), expected);
  ExpectNewestLineAtTheBottom(*text, 101, viewer->scrolledLines());

  QTest::mouseClick(Child<QPushButton>(viewer, "Command2"), Qt::LeftButton);
  EXPECT_TRUE(text->toPlainText().isEmpty());
  EXPECT_FALSE(FileExists(log));
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(WindowsTest, LogViewerShowsTheNewestLineWithAnyFont) {
  testing::WriteFile(dir_ / "quorvixDDNS.log", Lines(0, 100));
  // Later tests get the application's font back even if this one stops half-way.
  struct FontGuard {
    QFont saved = QApplication::font();
    ~FontGuard() { QApplication::setFont(saved); }
  } guard;
  for (const int pointSize : {6, 9, 14, 20}) {
    SCOPED_TRACE(pointSize);
    QFont font = guard.saved;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
    windows_.Show(Window::LogViewer);
    frmViewLog* viewer = windows_.logViewer();
    ASSERT_NE(viewer, nullptr);
    ExpectNewestLineAtTheBottom(*Child<QPlainTextEdit>(viewer, "txtLog"), 100,
                                viewer->scrolledLines());
    viewer->close();
    RunDeferredDeletes();
  }
}

TEST_F(WindowsTest, AboutShowsTheTextsAndOpensTheSite) {
  windows_.Show(Window::About);
  frmAbout* about = windows_.about();
  ASSERT_NE(about, nullptr);
  auto* info = Child<QLabel>(about, "lblInfo");
  EXPECT_EQ(info->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
            Qt8(AboutText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  EXPECT_FALSE(Qt::mightBeRichText(info->text()));

  auto* link = Child<QLabel>(about, "Label2");
  EXPECT_EQ(Utf8(link->text()), "http://" + std::string(build::kWebHost));
  EXPECT_TRUE(link->font().underline());
  // The text is drawn in blue: look for a clearly blue pixel.
  const QImage image = link->grab().toImage();
  bool blue = false;
  for (int y = 0; y < image.height() && !blue; ++y) {
    for (int x = 0; x < image.width() && !blue; ++x) {
      const QColor pixel = image.pixelColor(x, y);
      blue = pixel.blue() > 200 && pixel.red() < 80 && pixel.green() < 80;
    }
  }
  EXPECT_TRUE(blue);

  QTest::mouseClick(link, Qt::RightButton);
  EXPECT_TRUE(desktop_.pages.empty());
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(desktop_.pages, std::vector<std::string>{"http://" + std::string(build::kWebHost)});
}

}  // namespace
}  // namespace quorvix

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
