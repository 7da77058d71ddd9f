// The Qt views over a real client core, driven with Qt Test on the offscreen platform: the
// hidden main window with its tray menu, and the settings dialog, log viewer and About box
// opened through WindowSet.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QtWidgets>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "build_config.h"
#include "support/shell_fixture.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_set.h"
#include "ui/setup/setup_dialog.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

template <typename T = QWidget>
T* Child(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(name);
  if (child == nullptr) throw std::runtime_error(std::string("no child ") + name);
  return child;
}
void Click(QWidget* window, const char* control) {
  QTest::mouseClick(Child(window, control), Qt::LeftButton, {}, QPoint(6, 8));
}
const std::string kSite = "http://" + std::string(build::kWebHost);

// A client with real windows; its desktop records, or is the real main window when given one.
struct Client {
  explicit Client(Steps script = {UpdatedReply()}, frmMain* main = nullptr)
      : f(std::move(script), main),
        windows(f.core.services(), f.core.shell, main ? *main : static_cast<Desktop&>(f.desktop)) {
    f.desktop.onShow = [this](Window window) { windows.Show(window); };
  }
  // The messages as "icon title: text" (the icon as its initial), then "items, [domain
  // box/password box] list string", then " changed" once the list changed.
  std::string Seen(frmSetup* setup) {
    std::string seen;
    for (const auto& m : f.desktop.messages) {
      seen += "IWC"[static_cast<int>(m.icon)] + (" " + m.title + ": " + m.text + "\n");
    }
    auto* list = Child<QListWidget>(setup, "domainList");
    for (int row = 0; row < list->count(); ++row) seen += Utf8(list->item(row)->text()) + ",";
    return seen + " [" + Utf8(Child<QLineEdit>(setup, "strDomain")->text()) + "/" +
           Utf8(Child<QLineEdit>(setup, "Password")->text()) + "] " +
           setup->logic().domainString() + (setup->logic().domainsChanged() ? " changed" : "");
  }

  ShellFixture f;
  WindowSet windows;
};

struct DialogCase {
  std::string list, domain, password;  // stored, then typed into the boxes
  // Before the dialog opens: a "failing" service, an autostart "entry", its folder "blocked",
  // the options "loaded" on, a value "unwritable". Then clicks on the named controls, on row N of
  // the list (pickN, dclickN for a double-click), Enter and Esc ("keys"), a take-back with nothing
  // selected.
  std::string steps;
  // What is seen, then the focus while open or, once closed, the list and boxes as saved; the
  // autostart entry, the commands sent, the outcome ("ok", "verbose" when logged so), the log
  // viewer if shown.
  std::string outcome;
};

const std::string kPrompt = "W 出错提示: ", kInvalid = kPrompt + "域名无效,请输入正确的域名\n";
const std::string kWww =
    kPrompt + "不能含有www.,假如您的域名是www.myhome.com,仅需填写myhome.com即可\n";
const std::string kAC = "a.com|pw,c.com|pw,", kACB = kAC + "b.com|pw,";

// clang-format off
const DialogCase kDialogCases[] = {
    // The order of the checks (the headless client's tests hold more), and where the focus goes.
    {"a.com|pw,", "", "", "cmdNew", kInvalid + "a.com, [/] a.com|pw, @strDomain"},
    {"a.com|pw,", "abc", "", "cmdNew", kPrompt + "请输入域名管理密码\na.com, [abc/] a.com|pw, @Password"},
    {"a.com|pw,", "abc", "p,w", "cmdNew", kPrompt + "管理密码中不可含有逗号,请修改后再设置\na.com, [abc/p,w] a.com|pw, @Password"},
    {"a.com|pw,", "Www.x.com", "pw", "cmdNew", kWww + "a.com, [Www.x.com/pw] a.com|pw, @strDomain"},
    {"a.com|pw,", "A.COM", "pw", "cmdNew", kPrompt + "A.COM已经存在\na.com, [A.COM/pw] a.com|pw, @cmdNew"},
    {"a.com|pw,", "a.b", "pw", "cmdNew", "a.com,a.b, [/] a.com|pw,a.b|pw, changed @cmdNew"},
    {"a.com|pw,", "wwww.x.com", "pw", "cmdNew", "a.com,wwww.x.com, [/] a.com|pw,wwww.x.com|pw, changed @cmdNew"},
    {"a.com|pw,", "x.www.com", "pw", "cmdNew", "a.com,x.www.com, [/] a.com|pw,x.www.com|pw, changed @cmdNew"},
    {"a.com|pw,", "Sub-1.A.com", "中文|p", "cmdNew", "a.com,Sub-1.A.com, [/] a.com|pw,Sub-1.A.com|中文|p, changed @cmdNew"},
    {"a.com|pw,", "b.com", "pw", "keys", "a.com, [b.com/pw] a.com|pw, @strDomain"},  // no default button
    // The list shows the readable entries. A deletion takes every entry of the domain from the
    // string, the selected item from the list; a take-back puts the domain and the password of
    // its last entry (same letter case) in the boxes.
    {"b.com|1,junk,A.com|2|x,,", "typed", "kept", "cmdDel", kPrompt + "请选择要删除的域名\nb.com,A.com, [typed/kept] b.com|1,junk,A.com|2|x,, @cmdDel"},
    {"a.com|1,b.com|2,a.com|3,", "typed", "kept", "pick0 cmdDel", "b.com,a.com, [typed/kept] b.com|2, @cmdDel"},
    {"a.com|1,b.com|2|x,", "typed", "kept", "takeback", "a.com,b.com, [typed/kept] a.com|1,b.com|2|x, @strDomain"},
    {"a.com|1,b.com|2|x,", "typed", "kept", "dclick1", "a.com, [b.com/2|x] a.com|1, @domainList"},
    {"a.com|1,b.com|2,a.com|3,", "typed", "kept", "dclick0", "b.com,a.com, [a.com/3] b.com|2, @domainList"},
    {"A.com|1,a.com|2,", "typed", "kept", "dclick0", "a.com, [A.com/1] a.com|2, @domainList"},
    {"", "", "", "cmdOkay", "W 出错信息: 请您输入需要动态解析的域名\n [/]  @cmdOkay"},
    // The autostart entry follows the box once clicked, also back; only a failed enable is told.
    {"a.com|pw,", "", "", "entry cmdOkay", "a.com, [/] a.com|pw, | a.com|pw, false false false entry"},
    {"a.com|pw,", "", "", "loaded cmdOkay", "a.com, [/] a.com|pw, | a.com|pw, true false true"},
    {"a.com|pw,", "", "", "entry chkAutoRun chkAutoRun cmdOkay", "a.com, [/] a.com|pw, | a.com|pw, false false false"},
    {"a.com|pw,", "", "", "blocked chkAutoRun cmdOkay", "C 出错信息: 注册表启动项写入失败,请检查是否开启了杀毒软件禁止本程序改写注册表\n"
                                                        "a.com, [/] a.com|pw, | a.com|pw, true false false"},
    {"a.com|pw,", "", "", "blocked loaded chkAutoRun cmdOkay", "a.com, [/] a.com|pw, | a.com|pw, false false true"},
    // Only an added domain sends START, logged verbosely when the box says so; a failure shows
    // the log viewer and the dialog still closes. Cancel saves nothing.
    {kAC, "b.com", "pw", "cmdNew cmdOkay", "a.com,c.com,b.com, [/] " + kACB + " changed | " + kACB + " false false false START ok"},
    {kAC, "b.com", "pw", "chkLogVerbose cmdNew cmdOkay", "a.com,c.com,b.com, [/] " + kACB + " changed | " + kACB + " false false true START ok verbose"},
    {kAC, "b.com", "pw", "chkAutoRun chkMX cmdOkay", "a.com,c.com, [b.com/pw] " + kAC + " | " + kAC + " true true false entry"},
    {kAC, "b.com", "pw", "chkLogVerbose pick1 cmdDel cmdOkay", "a.com, [b.com/pw] a.com|pw, | a.com|pw, false false true"},
    {kAC, "b.com", "pw", "cmdNew pick2 cmdDel cmdOkay", "a.com,c.com, [/] " + kAC + " changed | " + kAC + " false false false START ok"},
    {kAC, "b.com", "pw", "failing cmdNew cmdOkay", "a.com,c.com,b.com, [/] " + kACB + " changed | " + kACB + " false false false START 域名动态解析失败"},
    {kAC, "b.com", "pw", "unwritable cmdNew cmdOkay", "C 出错信息: " + std::string(kSaveFailedText) + "\na.com,c.com,b.com, [/] " + kACB + " changed @cmdOkay"},
    {kAC, "b.com", "pw", "cmdNew chkAutoRun chkMX cmdCancel", "a.com,c.com,b.com, [/] " + kACB + " changed | " + kAC + "   "},
};
// clang-format on

TEST(SetupDialog, EditsTheListAndSavesOnOk) {
  for (const DialogCase& c : kDialogCases) {
    SCOPED_TRACE(c.steps + " over " + c.list + " typing " + c.domain + "/" + c.password);
    const auto has = [&](const char* step) { return c.steps.find(step) != std::string::npos; };
    Client client({has("failing") ? Dropped() : UpdatedReply()});
    ShellFixture& f = client.f;
    ProgramState& s = f.core.state;
    f.Store(kSettingDomains, c.list);
    EXPECT_TRUE(!has("entry") || f.core.store.SetAutoRun(true));
    if (has("blocked")) WriteFile(f.dir / "autostart", "not a folder");
    if (has("unwritable")) std::filesystem::create_directories(f.dir / "config/glbMX/in the way");
    s.glbAutoRun = s.glbLogVerbose = has("loaded");
    s.setupWaiting = true;
    client.windows.Show(Window::Settings);
    frmSetup* setup = client.windows.setup();
    Child<QLineEdit>(setup, "strDomain")->setText(Qt8(c.domain));
    Child<QLineEdit>(setup, "Password")->setText(Qt8(c.password));
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
      if (setup->findChild<QWidget*>(Qt8(step)) != nullptr) Click(setup, step.c_str());
      if (step == "takeback") setup->logic().TakeBack();
      for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        if (step == "keys") QTest::keyClick(Child(setup, "Password"), key);
      }
      if (step.starts_with("pick") || step.starts_with("dclick")) {
        auto* list = Child<QListWidget>(setup, "domainList");
        const QPoint at = list->visualItemRect(list->item(step.back() - '0')).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (step[0] == 'd') QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
      }
    }
    const bool open = setup->isVisible();
    std::string outcome =
        client.Seen(setup) + (open ? " @" + Utf8(setup->focusWidget()->objectName()) : " |");
    for (const auto name : {kSettingDomains, kSettingAutoRun, kSettingMX, kSettingLogVerbose}) {
      if (!open) outcome += " " + f.core.store.ReadSetting(name);
    }
    if (FileExists(f.dir / "autostart/quorvixDDNS.desktop")) outcome += " entry";
    for (const std::string& command : f.Commands()) outcome += " " + command;
    if (s.lastUpdateOk) outcome += " ok";
    if (f.Logged("发送命令:START....")) outcome += " verbose";
    // The failure's line, and the log viewer that shows it.
    if (f.Logged("域名动态解析失败") && client.windows.logViewer()) outcome += " 域名动态解析失败";
    EXPECT_EQ(outcome, c.outcome);

    // OK keeps what it saves; every close unloads the dialog.
    const bool saved = !open && !has("cmdCancel");
    const auto on = [&](std::string_view name) { return f.core.store.ReadSetting(name) == "true"; };
    EXPECT_EQ(std::tuple(s.setupWaiting, s.hasDomains, s.glbAutoRun, s.glbMX, s.glbLogVerbose),
              std::tuple(open, saved, saved ? on(kSettingAutoRun) : has("loaded"),
                         saved && on(kSettingMX), saved ? on(kSettingLogVerbose) : has("loaded")));
    if (open) {  // nothing stays selected: a second 删除 is refused and deletes nothing
      f.desktop.messages.clear();
      const std::string seen = client.Seen(setup);
      Click(setup, "cmdDel");
      EXPECT_EQ(client.Seen(setup), kPrompt + "请选择要删除的域名\n" + seen);
    }
  }
}

// OK refuses a list that would not read back (1024 bytes or 1000 characters and more).
TEST(SetupDialog, OkRefusesAListThatWouldNotReadBack) {
  const auto list = [](int chinese, int ascii) {
    std::string text = "a.com|";
    for (int n = 0; n < chinese; ++n) text += "中";
    return text + std::string(ascii, 'p') + ",";
  };
  // With "b.cn|p," added: 999 and 1000 characters; 1023 and 1024 bytes (each 中 is three).
  const std::pair<std::string, bool> cases[] = {
      {list(0, 985), false}, {list(0, 986), true}, {list(300, 109), false}, {list(300, 110), true}};
  for (const auto& [stored, refused] : cases) {
    SCOPED_TRACE(stored.size());
    Client client;
    client.f.Store(kSettingDomains, stored);
    client.windows.Show(Window::Settings);
    frmSetup* setup = client.windows.setup();
    Child<QLineEdit>(setup, "strDomain")->setText("b.cn");
    Child<QLineEdit>(setup, "Password")->setText("p");
    Click(setup, "cmdNew");
    Click(setup, "cmdOkay");
    EXPECT_EQ(setup->isVisible(), refused);
    ASSERT_EQ(client.f.desktop.messages.size(), refused ? 1u : 0u);
    for (const ShownMessage& m : client.f.desktop.messages)
      EXPECT_EQ(m.text, "抱歉,您输入的域名过多!");
    EXPECT_EQ(client.f.core.store.ReadSetting(kSettingDomains),
              refused ? stored : stored + "b.cn|p,");
  }
}

// The dialog keeps its size below a bar that fits every menu; each item of the menus does what
// its label says. The service accepts START and STOP; 退出 ends the process at once. The About
// box shows the product and opens the web site from its link.
TEST(SetupDialog, EveryMenuItemDoesWhatItSays) {
  Client client;
  client.f.Started(true);
  client.f.core.shell.tray().Start_Connect_status();  // keeps the image
  client.windows.Show(Window::Settings);
  frmSetup* setup = client.windows.setup();
  auto* bar = Child<QMenuBar>(setup, "menuBar");
  EXPECT_EQ(Child(setup, "client")->geometry(), QRect(0, bar->height(), 300, 519));
  EXPECT_TRUE(setup->minimumSize() == QSize(300, bar->height() + 519) &&
              setup->maximumSize() == setup->minimumSize());
  std::string menus;
  for (QAction* entry : bar->actions()) {
    EXPECT_TRUE(bar->rect().contains(bar->actionGeometry(entry)));  // not folded into "»"
    menus += Utf8(entry->menu()->objectName()) + "=" + Utf8(entry->menu()->title()) + ":";
    for (QAction* item : entry->menu()->actions()) {
      client.f.desktop.calls.clear();
      item->trigger();
      menus += " " + Utf8(item->objectName()) + "=" + Utf8(item->text()) + "{";
      for (const std::string& call : client.f.desktop.calls) menus += call + ";";
      menus += "}";
    }
    menus += "\n";
  }
  EXPECT_EQ(menus,
            "mnuFile=解析(&F): mnuFresh=刷新解析{timer on;Modify 7 colour 正在连接;Modify 7 colour "
            "解析成功;} mnuStop=停止解析{timer off;Modify 7 grey 解析成功;Modify 7 grey "
            "解析失败/停止;} mnuLine={} mnuQuit=退出{hook removed;Delete 0 grey 解析失败/停止;end "
            "process;}\nmnuLogMain=日志(&L): mnuLog=日志记录{show log viewer;}\n"
            "mnuUpdateMain=升级(&U): mnuUpdate=升级软件{open " +
                kSite + "/ddns/default.asp#3;}\nmenuHelpMain=帮助(&H): mnuHelp=帮助{open " + kSite +
                "/ddns/howuse.asp;} mnubuy=购买{open " + kSite +
                "/ddns/register.asp;} mnuAbout=关于{show about;}\n");
  EXPECT_EQ(client.f.Commands(), (Strings{"START", "STOP"}));
  EXPECT_EQ(client.f.lines.back(), "quorvixDDNS(ver1.1)停止!");
  EXPECT_TRUE(client.windows.logViewer()->isVisible());

  frmAbout* about = client.windows.about();
  EXPECT_TRUE(about->isVisible() && about->minimumSize() == about->maximumSize());
  const QString info = Child<QLabel>(about, "lblInfo")->text();
  EXPECT_EQ(
      Utf8(info),
      "夸维(quorvix.com)动态域名解析系统\r\n\r\n版本号:1.1\r\n\r\nCopyright (C) 2026 Quorvix");
  EXPECT_FALSE(Qt::mightBeRichText(info));
  auto* link = Child<QLabel>(about, "Label2");
  EXPECT_EQ(Utf8(link->text()), kSite);
  EXPECT_TRUE(link->font().underline() && link->font().pointSize() == 9);
  client.f.desktop.calls.clear();
  QTest::mouseClick(link, Qt::RightButton);
  EXPECT_EQ(client.f.desktop.calls, Strings{});
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(client.f.desktop.calls, Strings{"open " + kSite});
}

// The viewer reads the file once, when opened, and is scrolled just far enough for the newest
// line to show whole at its bottom, in any font; the scroll position is the first line shown.
TEST(LogViewer, ShowsTheNewestLineInAnyFontAndClears) {
  Client client;
  const std::string log = client.f.dir / "quorvixDDNS.log";
  const QFont saved = QApplication::font();
  frmViewLog* viewer = nullptr;
  for (const int points : {0, 6, 20}) {
    SCOPED_TRACE(points);
    QFont font = saved;
    if (points != 0) font.setPointSize(points);
    QApplication::setFont(font);
    const int lines = 100 + points;
    std::string text;
    for (int i = 0; i < lines; ++i) text += "2008-6-12 14:05:09\t第" + std::to_string(i) + "行\n";
    WriteFile(log, text);
    if (viewer != nullptr) Click(viewer, "Command1");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed one goes
    client.windows.Show(Window::LogViewer);
    viewer = client.windows.logViewer();
    WriteFile(log, "");
    client.windows.Show(Window::LogViewer);  // shown again while open: the same window and text
    EXPECT_EQ(client.windows.logViewer(), viewer);
    auto& box = *Child<QPlainTextEdit>(viewer, "txtLog");
    EXPECT_EQ(Utf8(box.toPlainText().remove('\r')), text);
    const QRect shown = box.viewport()->rect();
    const QRect newest = box.cursorRect(QTextCursor(box.document()->findBlockByNumber(lines - 1)));
    EXPECT_TRUE(shown.contains(newest)) << "cut off";
    EXPECT_GT(newest.bottom() + newest.height(), shown.bottom()) << "scrolled too far";
    EXPECT_EQ(box.cursorForPosition(QPoint(1, 1)).blockNumber(), viewer->scrolledLines());
    EXPECT_GT(viewer->scrolledLines(), 0);
  }
  QApplication::setFont(saved);
  Click(viewer, "Command2");
  EXPECT_EQ(Child<QPlainTextEdit>(viewer, "txtLog")->toPlainText(), QString());
  EXPECT_FALSE(FileExists(log));
  EXPECT_TRUE(client.f.desktop.messages.empty());
}

// Takes the web pages the program opens, so that no browser starts.
class Pages : public QObject {
  Q_OBJECT

 public:
  Pages() { QDesktopServices::setUrlHandler("http", this, "Open"); }
  ~Pages() override { QDesktopServices::unsetUrlHandler("http"); }
  std::string opened;

 public slots:
  void Open(const QUrl& url) { opened += " " + Utf8(url.toString()); }
};

class FrmMainTest : public ::testing::Test {
 protected:
  FrmMainTest() { main_.Attach(f_.core.shell, f_.core.state); }
  // The windows as the tray program opens them; until then, stand-ins.
  void RealWindows() {
    main_.SetWindowHandlers([this](Window window) { client_.windows.Show(window); },
                            [this](Window window) { client_.windows.Unload(window); });
  }
  QAction* Item(const char* name) { return Child<QAction>(&main_, name); }
  // The commands sent since the last call, the icon, its tip, whether the watch runs, the
  // windows open (closed afterwards) and the pages opened.
  std::string Seen() {
    std::string seen;
    const Strings commands = f_.Commands();
    for (auto i = sent_; i < commands.size(); ++i) seen += commands[i] + " ";
    sent_ = commands.size();
    const auto image = [](const QIcon& icon) {
      return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage shown = image(main_.trayIcon()->icon());
    seen += shown == image(QIcon(":/icons/tray-colour-16.png")) ? "colour "
            : shown == image(QIcon(":/icons/tray-grey-16.png")) ? "grey "
                                                                : "? ";
    seen += Utf8(main_.trayIcon()->toolTip()) + (main_.watchTimer()->isActive() ? " watching" : "");
    for (QWidget* open : std::initializer_list<QWidget*>{
             client_.windows.setup(), client_.windows.logViewer(), client_.windows.about()}) {
      if (open != nullptr && open->isVisible()) seen += " " + Utf8(open->objectName());
      if (open != nullptr) open->close();
    }
    seen += pages_.opened;
    pages_.opened.clear();
    return seen;
  }

  Pages pages_;
  frmMain main_;
  // Every reply the client can want, for a.com: START and STOP accepted three times, then refused.
  Client client_{{Reply({"RET-CODE: 200", "Major: 1", "Minor: 1", "Y-IP: 127.0.0.1",
                         "RET-DMLIST: a.com|200,"}),
                  UpdatedReply(), UpdatedReply(), RefusedReply()},
                 &main_};
  ShellFixture& f_ = client_.f;
  std::size_t sent_ = 0;
};

// Each item of the tray menu does what its label says; so does a double-click on the icon, its
// only mouse action besides the menu, until the icon goes.
TEST_F(FrmMainTest, EveryTrayMenuItemDoesWhatItSays) {
  RealWindows();
  f_.Started(false);
  EXPECT_EQ(main_.trayIcon()->contextMenu(), main_.trayMenu());
  EXPECT_EQ(main_.watchTimer()->interval(), 60000);
  std::string items;
  for (const QAction* item : main_.trayMenu()->actions()) {
    items += Utf8(item->objectName()) + "=" + Utf8(item->text()) +
             (item->isEnabled() && item->isVisible() ? " " : "? ");
  }
  EXPECT_EQ(
      items,
      "mnuTrayLog=日志记录 mnuTrayUpdate=升级软件 mnuTrayFlush=刷新解析 mnuTrayStop=停止解析 "
      "mnuTraySetup=参数设置 menuTrayLine= mnuTrayHelp=帮助 mnuTrayAbout=关于 mnuTrayQuit=退出 ");
  const std::string failed = "grey 解析失败/停止", updated = "colour 解析成功 watching";
  const std::string site = " " + kSite + "/ddns/";
  const std::pair<const char*, std::string> steps[] = {
      {"mnuTrayLog", failed + " frmViewLog"},
      {"mnuTrayUpdate", failed + site + "default.asp#3"},
      {"mnuTraySetup", failed + " frmSetup"},
      {"mnuTrayHelp", failed + site + "howuse.asp"},
      {"mnuTrayAbout", failed + " frmAbout"},
      {"mnuTrayFlush", "START " + updated},
      {"mnuTrayStop", "STOP " + failed},
      {"mnuTrayFlush", "START " + updated},
      {"mnuTrayStop", "STOP " + updated},                            // refused: still resolving
      {"mnuTrayFlush", "START " + failed + " watching frmViewLog"},  // the log says why
      {"", failed + " watching frmSetup"},                           // the icon's mouse actions
      {"", failed + " watching"},                                    // once the icon is gone
  };
  for (const auto& [name, seen] : steps) {
    if (*name != '\0') Item(name)->trigger();
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick,
                              QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick}) {
      if (*name == '\0') emit main_.trayIcon()->activated(reason);
    }
    if (*name == '\0') f_.core.shell.tray().RemoveTrayIcon();
    EXPECT_EQ(Seen(), seen) << name;
  }
}

// Quit closes every window, takes the icon away, logs the stop line and ends the event loop; it
// sends nothing, so the domains keep pointing at this machine.
TEST_F(FrmMainTest, QuitEndsTheProgram) {
  RealWindows();
  f_.Started(true);
  for (const Window window : {Window::Settings, Window::LogViewer, Window::About}) {
    client_.windows.Show(window);
  }
  EXPECT_TRUE(main_.trayIcon()->isVisible());
  QTimer::singleShot(0, Item("mnuTrayQuit"), &QAction::trigger);
  QTimer::singleShot(1000, &main_, [] { QCoreApplication::exit(1); });  // if it does not
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(main_.trayIcon()->isVisible());
  EXPECT_EQ(f_.lines, Strings{"quorvixDDNS(ver1.1)停止!"});
  EXPECT_EQ(Seen(), "colour 解析成功");
}

class StartupWaitTest : public FrmMainTest, public ::testing::WithParamInterface<std::string> {};

// Without domains the start-up opens the settings dialog and waits, Quit locked, until the
// dialog goes: by its close box, or by OK after adding a domain, which sends START itself.
TEST_P(StartupWaitTest, GoesOnOnceTheDialogCloses) {
  const std::string closing = GetParam();
  if (closing != "StandIn") RealWindows();
  Strings shown;
  QObject::connect(&main_, &frmMain::windowRequested, &main_, [&](Window window) {
    shown.push_back(FakeDesktop::Name(window) + (Item("mnuTrayQuit")->isEnabled() ? "+Quit" : ""));
    if (window != Window::Settings || closing == "StandIn") return;
    QTimer::singleShot(0, &main_, [&] {
      frmSetup* setup = client_.windows.setup();
      if (closing == "CloseBox") return (void)setup->windowHandle()->close();
      Child<QLineEdit>(setup, "strDomain")->setText("a.com");
      Child<QLineEdit>(setup, "Password")->setText("pw");
      Click(setup, "cmdNew");
      Click(setup, "cmdOkay");
    });
  });
  QTimer::singleShot(1000, &main_, [this] {  // releases a start-up that still waits, and fails
    if (f_.core.state.setupWaiting) ADD_FAILURE() << "the start-up still waits";
    f_.core.state.setupWaiting = false;
  });
  f_.core.shell.RunStartup(false);
  const bool ok = closing == "AddAndOk";
  EXPECT_EQ(shown, ok ? Strings{"settings"} : (Strings{"settings", "log viewer"}));
  EXPECT_TRUE(Item("mnuTrayQuit")->isEnabled());
  EXPECT_EQ(f_.lines.back(), ok ? "域名a.com动态解析成功" : "错误!请先设置好要解析的域名");
  // With no domain the watch would only ask for refusals: it stays off.
  EXPECT_EQ(Seen(), ok                      ? "GETVER GETIP START colour 解析成功 watching"
                    : closing == "CloseBox" ? "GETVER GETIP grey 解析失败/停止 frmViewLog"
                                            : "GETVER GETIP grey 解析失败/停止");
}

INSTANTIATE_TEST_SUITE_P(Closings, StartupWaitTest,
                         ::testing::Values("StandIn", "CloseBox", "AddAndOk"));

}  // namespace
}  // namespace quorvix

#include "views_test.moc"
