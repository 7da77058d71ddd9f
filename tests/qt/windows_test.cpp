// The real settings dialog, log viewer and About box, built through WindowSet over a real client
// core and a recording desktop, driven with Qt Test on the offscreen platform.
#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <algorithm>
#include <stdexcept>

#include "build_config.h"
#include "support/shell_fixture.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_set.h"
#include "ui/windows/about.h"

namespace quorvix {
namespace {

using testing::FileExists;

template <typename T = QWidget>
T* Child(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(QLatin1String(name));
  if (child == nullptr) throw std::runtime_error(std::string("no child ") + name);
  return child;
}

void Click(QWidget* window, const char* button) {
  QTest::mouseClick(Child<QPushButton>(window, button), Qt::LeftButton);
}

// What a Chinese input method delivers: QTest cannot type these characters.
void Commit(QWidget* widget, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(widget, &event);
}

// Closed windows go when control is back in the event loop.
void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string Lines(int count, const char* end = "\r\n") {
  std::string text;
  for (int i = 0; i < count; ++i) text += "2008-6-12 14:05:09\t第" + std::to_string(i) + "行" + end;
  return text;
}

// The box is scrolled just far enough for the newest line to show whole at its bottom, and
// the scroll position is the first line shown.
void ExpectNewestLineAtTheBottom(frmViewLog* viewer, int lines) {
  const QPlainTextEdit& text = *Child<QPlainTextEdit>(viewer, "txtLog");
  const QRect box = text.viewport()->rect();
  const QRect newest = text.cursorRect(QTextCursor(text.document()->findBlockByNumber(lines - 1)));
  EXPECT_TRUE(box.contains(newest)) << "newest line at " << newest.y() << ", box " << box.height();
  EXPECT_GT(newest.bottom() + newest.height(), box.bottom()) << "scrolled too far";
  EXPECT_EQ(text.cursorForPosition(QPoint(1, 1)).blockNumber(), viewer->scrolledLines());
  EXPECT_GT(viewer->scrolledLines(), 0);
}

template <typename T>
T* Shown(T* window) {
  if (window == nullptr) throw std::runtime_error("window not shown");
  return window;
}

class WindowsTest : public ::testing::Test {
 protected:
  WindowsTest() {
    f_.desktop.onShow = [this](Window window) { windows_.Show(window); };
  }
  frmSetup* ShowSetup() {
    windows_.Show(Window::Settings);
    return Shown(windows_.setup());
  }
  frmViewLog* ShowViewer() {
    windows_.Show(Window::LogViewer);
    return Shown(windows_.logViewer());
  }

  testing::ShellFixture f_{std::vector{testing::UpdatedReply()}};
  WindowSet windows_{f_.core.services(), f_.core.shell, f_.desktop};
};

TEST_F(WindowsTest, SetupTypingRefusesThenAddsAndOkSavesAndCloses) {
  f_.core.state.setupWaiting = true;
  frmSetup* setup = ShowSetup();
  auto* domain = Child<QLineEdit>(setup, "strDomain");
  auto* password = Child<QLineEdit>(setup, "Password");
  auto* list = Child<QListWidget>(setup, "domainList");
  EXPECT_EQ(setup->focusWidget(), domain);
  EXPECT_EQ(ShowSetup(), setup);  // shown twice: still one window

  // A refusal goes through the desktop and moves the focus back to the domain.
  Commit(domain, QStringLiteral("中文.com"));
  Commit(password, QStringLiteral("密码"));
  password->setFocus();
  Click(setup, "cmdNew");
  EXPECT_EQ(f_.desktop.calls, std::vector<std::string>{"message:域名无效,请输入正确的域名"});
  EXPECT_EQ(setup->focusWidget(), domain);

  domain->clear();
  QTest::keyClicks(domain, "a.com");
  Click(setup, "cmdNew");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("a.com"));
  EXPECT_TRUE(domain->text().isEmpty() && password->text().isEmpty());
  auto* autoRun = Child<QCheckBox>(setup, "chkAutoRun");
  QTest::mouseClick(autoRun, Qt::LeftButton, {}, QPoint(6, autoRun->height() / 2));
  Click(setup, "cmdOkay");
  EXPECT_EQ(f_.desktop.messages.size(), 1u);
  EXPECT_EQ(f_.core.store.ReadSetting(kSettingDomains), "a.com|密码,");
  EXPECT_EQ(f_.core.store.ReadSetting(kSettingAutoRun), "true");
  EXPECT_TRUE(FileExists(f_.dir / "autostart/quorvixDDNS.desktop"));
  EXPECT_EQ(f_.Commands(), std::vector<std::string>{"START"});
  EXPECT_FALSE(setup->isVisible());
  EXPECT_FALSE(f_.core.state.setupWaiting);
  RunDeferredDeletes();
  EXPECT_EQ(windows_.setup(), nullptr);
}

TEST_F(WindowsTest, SetupLayoutTabOrderAndKeys) {
  frmSetup* setup = ShowSetup();
  QWidget* client = Child(setup, "client");
  auto* bar = Child<QMenuBar>(setup, "menuBar");
  // Positions in the client area below the menu bar.
  const std::pair<const char*, QRect> places[] = {{"strDomain", {80, 40, 169, 25}},
                                                  {"domainList", {24, 192, 249, 148}},
                                                  {"chkAutoRun", {56, 384, 185, 17}},
                                                  {"cmdCancel", {168, 480, 89, 25}}};
  for (const auto& [name, rect] : places) {
    const QWidget* widget = Child(setup, name);
    EXPECT_EQ(QRect(widget->mapTo(client, QPoint(0, 0)), widget->size()), rect) << name;
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

  QStringList order;
  QWidget* widget = Child(setup, "strDomain");
  for (int steps = 0; order.size() < 11 && steps < 200; ++steps) {
    if (widget->focusPolicy() & Qt::TabFocus) order << widget->objectName();
    widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(order.join(QLatin1Char(' ')),
            QStringLiteral("strDomain Password cmdNew domainList cmdDel cmdOkay chkAutoRun chkMX "
                           "cmdCancel chkLogVerbose strDomain"));

  // No default button: Enter and Esc press none.
  for (const QPushButton* button : setup->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << Utf8(button->objectName());
  }
  auto* password = Child<QLineEdit>(setup, "Password");
  QTest::keyClicks(Child<QLineEdit>(setup, "strDomain"), "a.com");
  QTest::keyClicks(password, "pw");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(password, key);
  }
  EXPECT_EQ(Child<QListWidget>(setup, "domainList")->count(), 0);
  EXPECT_TRUE(setup->isVisible());
}

TEST_F(WindowsTest, SetupMenusAndWhatTheyOpen) {
  frmSetup* setup = ShowSetup();
  std::string menus;
  for (const QAction* entry : Child<QMenuBar>(setup, "menuBar")->actions()) {
    const QMenu* menu = entry->menu();
    ASSERT_NE(menu, nullptr);
    menus += Utf8(menu->objectName()) + "=" + Utf8(menu->title()) + ":";
    for (const QAction* item : menu->actions()) {
      menus += " " + Utf8(item->objectName()) + "=" + Utf8(item->text()) +
               (item->isSeparator() ? "-" : "");
    }
    menus += "\n";
  }
  EXPECT_EQ(menus,
            "mnuFile=解析(&F): mnuFresh=刷新解析 mnuStop=停止解析 mnuLine=- mnuQuit=退出\n"
            "mnuLogMain=日志(&L): mnuLog=日志记录\n"
            "mnuUpdateMain=升级(&U): mnuUpdate=升级软件\n"
            "menuHelpMain=帮助(&H): mnuHelp=帮助 mnubuy=购买 mnuAbout=关于\n");

  const std::string site = "open http://" + std::string(build::kWebHost) + "/ddns/";
  const std::pair<const char*, std::string> triggers[] = {
      {"mnuUpdate", site + "default.asp#3"},
      {"mnuHelp", site + "howuse.asp"},
      {"mnubuy", site + "register.asp"},
      {"mnuLog", "show log viewer"},
      {"mnuAbout", "show about"},
  };
  for (const auto& [item, call] : triggers) {
    f_.desktop.calls.clear();
    Child<QAction>(setup, item)->trigger();
    EXPECT_EQ(f_.desktop.calls, std::vector<std::string>{call}) << item;
  }
  EXPECT_NE(windows_.logViewer(), nullptr);
  EXPECT_NE(windows_.about(), nullptr);
}

TEST_F(WindowsTest, LogViewerReadsOnceWhenOpenedShowingTheNewestLineInAnyFont) {
  const std::string log = f_.dir / "quorvixDDNS.log";
  testing::WriteFile(log, Lines(100));
  frmViewLog* viewer = ShowViewer();
  const auto shown = [&] {
    return Utf8(Child<QPlainTextEdit>(viewer, "txtLog")->toPlainText().remove(QLatin1Char('\r')));
  };
  EXPECT_EQ(shown(), Lines(100, "\n"));
  ExpectNewestLineAtTheBottom(viewer, 100);

  // Shown again while open: the same window, the text as it was.
  testing::WriteFile(log, Lines(101));
  EXPECT_EQ(ShowViewer(), viewer);
  EXPECT_EQ(shown(), Lines(100, "\n"));

  // Closed and shown again: read afresh, here with smaller and larger fonts.
  struct FontGuard {  // puts the application's font back even if the test stops half-way
    QFont saved = QApplication::font();
    ~FontGuard() { QApplication::setFont(saved); }
  } guard;
  for (const int pointSize : {6, 20}) {
    SCOPED_TRACE(pointSize);
    Click(viewer, "Command1");
    RunDeferredDeletes();
    QFont font = guard.saved;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
    viewer = ShowViewer();
    EXPECT_EQ(shown(), Lines(101, "\n"));
    ExpectNewestLineAtTheBottom(viewer, 101);
  }

  Click(viewer, "Command2");
  EXPECT_EQ(shown(), "");
  EXPECT_FALSE(FileExists(log));
  EXPECT_TRUE(f_.desktop.messages.empty());
}

TEST_F(WindowsTest, AboutShowsTheTextsAndTheLinkOpensTheSite) {
  windows_.Show(Window::About);
  frmAbout* about = Shown(windows_.about());
  const QString info = Child<QLabel>(about, "lblInfo")->text();
  EXPECT_EQ(Utf8(QString(info).remove(QLatin1Char('\r'))),
            Utf8(Qt8(AboutText()).remove(QLatin1Char('\r'))));
  EXPECT_FALSE(Qt::mightBeRichText(info));

  auto* link = Child<QLabel>(about, "Label2");
  const std::string site = "http://" + std::string(build::kWebHost);
  EXPECT_EQ(Utf8(link->text()), site);
  EXPECT_TRUE(link->font().underline());
  QTest::mouseClick(link, Qt::RightButton);
  EXPECT_TRUE(f_.desktop.pages.empty());
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(f_.desktop.pages, std::vector<std::string>{site});
}

}  // namespace
}  // namespace quorvix
