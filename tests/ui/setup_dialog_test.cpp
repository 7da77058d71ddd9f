// The settings dialog's logic over a fake view, wired to a real client core whose store and log
// live in a temporary folder and whose service is a script server on 127.0.0.1.
#include "ui/setup/setup_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "build_config.h"
#include "platform/settings_backend_posix.h"
#include "settings/store.h"
#include "shell/client_core.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/fake_setup_view.h"
#include "support/script_server.h"
#include "support/shell_fixture.h"
#include "support/temp_dir.h"
#include "ui/setup/center_form.h"

namespace quorvix {
namespace {

using testing::FakeDesktop;
using testing::FakeSetupView;
using testing::ServerStep;
using testing::TempDir;

constexpr std::string_view kInvalid = "域名无效,请输入正确的域名";
constexpr std::string_view kNoPassword = "请输入域名管理密码";
constexpr std::string_view kComma = "管理密码中不可含有逗号,请修改后再设置";
constexpr std::string_view kTooMany = "抱歉,您输入的域名过多!";
constexpr std::string_view kAutoRunFailed =
    "注册表启动项写入失败,请检查是否开启了杀毒软件禁止本程序改写注册表";

// The folder store, noting the name of every value written so the order can be checked.
class RecordingBackend final : public platform::SettingsBackend {
 public:
  RecordingBackend(const TempDir& dir, std::vector<std::string>& written)
      : inner_({dir / "config", dir / "autostart"}), written_(written) {}
  Status QueryValue(std::string_view name, char* buffer, std::size_t& size) override {
    return inner_.QueryValue(name, buffer, size);
  }
  Status SetValue(std::string_view name, std::string_view bytes) override {
    written_.emplace_back(name);
    return inner_.SetValue(name, bytes);
  }
  Status SetAutoRunEntry(std::string_view name, std::string_view command,
                         std::string_view arguments) override {
    return inner_.SetAutoRunEntry(name, command, arguments);
  }
  Status DeleteAutoRunEntry(std::string_view name) override {
    return inner_.DeleteAutoRunEntry(name);
  }

 private:
  platform::PosixSettingsBackend inner_;
  std::vector<std::string>& written_;
};

struct Harness {
  explicit Harness(std::vector<ServerStep> script = {testing::UpdatedReply()})
      : server(std::move(script)), core(desktop, clock, Setup()) {
    view.onAutoRunClick = [this] { dialog.AutoRunClicked(); };
    view.onClose = [this] { dialog.Unload(); };
    core.log.SetLineObserver(
        [this](std::string_view line) { lines.emplace_back(line.substr(line.find('\t') + 1)); });
  }

  ClientSetup Setup() {
    ClientSetup setup;
    setup.backend = std::make_unique<RecordingBackend>(dir, written);
    setup.program = {"/opt/q", "quorvixDDNS"};
    setup.logFilePath = dir / "quorvixDDNS.log";
    setup.limits = SocketLimits{std::chrono::seconds(5), std::chrono::seconds(5), 64 * 1024};
    setup.lookup = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
    setup.endpoints = ServiceEndpoints{"ddns.quorvix.com", "ip.quorvix.com", server.port()};
    return setup;
  }

  // Opens the dialog over a stored list, as showing it does; nothing written so far counts.
  void Open(std::string_view list = "") {
    if (!list.empty()) {
      EXPECT_TRUE(core.store.WriteSetting(kSettingDomains, list));
    }
    dialog.Load();
    written.clear();
  }
  void Type(std::string domain, std::string password) {
    view.domain = std::move(domain);
    view.password = std::move(password);
  }
  int Starts() const {
    int starts = 0;
    for (const std::string& request : server.requests()) {
      starts += request.find("Command=START") != std::string::npos ? 1 : 0;
    }
    return starts;
  }
  bool Logged(std::string_view line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::string AutoRunFile() const { return dir / "autostart/quorvixDDNS.desktop"; }

  TempDir dir;
  FakeDesktop desktop;
  testing::FakeClock clock;
  testing::ScriptServer server;
  std::vector<std::string> written;
  ClientCore core;
  FakeSetupView view;
  SetupDialog dialog{view, core.services(), core.shell};
  std::vector<std::string> lines;
};

TEST(SetupDialogAdd, RefusalsAndAcceptanceTable) {
  const struct {
    std::string domain, password;
    std::string message;  // empty: accepted
    std::string focus;
  } cases[] = {
      {"", "", std::string(kInvalid), "domain"},
      {"", "pw", std::string(kInvalid), "domain"},
      {"ab", "", std::string(kInvalid), "domain"},  // length before password
      {"ab", "pw", std::string(kInvalid), "domain"},
      {"abc", "", std::string(kNoPassword), "password"},  // the dot is checked after the password
      {"abc", "pw", std::string(kInvalid), "domain"},
      {"x.com", "p,w", std::string(kComma), "password"},
      {"x.com", ",", std::string(kComma), "password"},
      {"a b.com", "pw", std::string(kInvalid), "domain"},
      {"a_b.com", "pw", std::string(kInvalid), "domain"},
      {"中文.com", "pw", std::string(kInvalid), "domain"},
      {"www", "pw", std::string(kInvalid), "domain"},
      {"www.x.com", "", std::string(kNoPassword), "password"},
      {"www.x.com", "pw", WwwMessage(), "domain"},
      {"WWW.x.com", "pw", WwwMessage(), "domain"},
      {"Www.x.com", "pw", WwwMessage(), "domain"},
      {"www.", "pw", WwwMessage(), "domain"},
      {"a.com", "other", "a.com已经存在", ""},
      {"A.COM", "pw", "A.COM已经存在", ""},
      {"a.b", "pw", "", ""},
      {"wwww.x.com", "pw", "", ""},
      {"www2.x.com", "pw", "", ""},
      {"x.www.com", "pw", "", ""},
      {".xy", "pw", "", ""},
      {"Sub-1.A.com", "中文|p", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.domain + " / " + c.password);
    Harness h;
    h.Open("a.com|pw,");
    h.Type(c.domain, c.password);
    h.dialog.Add();
    if (!c.message.empty()) {
      ASSERT_EQ(h.desktop.messages.size(), 1u);
      EXPECT_EQ(h.desktop.messages[0].text, c.message);
      EXPECT_EQ(h.desktop.messages[0].title, "出错提示");
      EXPECT_EQ(h.desktop.messages[0].icon, MessageIcon::Warning);
      EXPECT_EQ(h.view.focus, c.focus);
      EXPECT_EQ(h.view.domain, c.domain);
      EXPECT_EQ(h.view.password, c.password);
      EXPECT_EQ(h.view.items, std::vector<std::string>{"a.com"});
      EXPECT_EQ(h.dialog.domainString(), "a.com|pw,");
      EXPECT_FALSE(h.dialog.domainsChanged());
    } else {
      EXPECT_TRUE(h.desktop.messages.empty());
      EXPECT_EQ(h.dialog.domainString(), "a.com|pw," + c.domain + "|" + c.password + ",");
      EXPECT_EQ(h.view.items, (std::vector<std::string>{"a.com", c.domain}));
      EXPECT_EQ(h.view.domain, "");
      EXPECT_EQ(h.view.password, "");
      EXPECT_TRUE(h.dialog.domainsChanged());
    }
  }
}

TEST(SetupDialogAdd, WwwMessageNamesTheExample) {
  EXPECT_EQ(WwwMessage(), "不能含有www.,假如您的域名是www.myhome.com,仅需填写myhome.com即可");
}

TEST(SetupDialogList, DeleteTable) {
  const struct {
    std::string list;
    int selected;
    std::string after;
    std::vector<std::string> items;
  } cases[] = {
      {"a.com|1,b.com|2,", 1, "a.com|1,", {"a.com"}},
      // Every entry of the domain leaves the string, only the selected item the list.
      {"a.com|1,b.com|2,a.com|3,", 0, "b.com|2,", {"b.com", "a.com"}},
      {"A.com|1,a.com|2,", 0, "a.com|2,", {"a.com"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    Harness h;
    h.Open(c.list);
    h.view.selected = c.selected;
    h.dialog.Delete();
    EXPECT_TRUE(h.desktop.messages.empty());
    EXPECT_EQ(h.dialog.domainString(), c.after);
    EXPECT_EQ(h.view.items, c.items);
    EXPECT_FALSE(h.dialog.domainsChanged());
  }

  Harness h;
  h.Open("a.com|1,");
  h.dialog.Delete();
  ASSERT_EQ(h.desktop.messages.size(), 1u);
  EXPECT_EQ(h.desktop.messages[0].text, "请选择要删除的域名");
  EXPECT_EQ(h.desktop.messages[0].title, "出错提示");
  EXPECT_EQ(h.desktop.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(h.dialog.domainString(), "a.com|1,");
  EXPECT_EQ(h.view.items, std::vector<std::string>{"a.com"});
}

TEST(SetupDialogList, TakeBackTable) {
  const struct {
    std::string list;
    int selected;
    std::string after;
    std::vector<std::string> items;
    std::string domain, password;  // the boxes afterwards
  } cases[] = {
      {"a.com|1,b.com|2|x,", -1, "a.com|1,b.com|2|x,", {"a.com", "b.com"}, "typed", "kept"},
      {"a.com|1,b.com|2|x,", 1, "a.com|1,", {"a.com"}, "b.com", "2|x"},
      // The last entry of the domain gives the password, whichever item was chosen.
      {"a.com|1,b.com|2,a.com|3,", 0, "b.com|2,", {"b.com", "a.com"}, "a.com", "3"},
      {"a.com|1,b.com|2,a.com|3,", 2, "b.com|2,", {"a.com", "b.com"}, "a.com", "3"},
      {"A.com|1,a.com|2,", 0, "a.com|2,", {"a.com"}, "A.com", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list + " #" + std::to_string(c.selected));
    Harness h;
    h.Open(c.list);
    h.Type("typed", "kept");
    h.view.selected = c.selected;
    h.dialog.TakeBack();
    EXPECT_TRUE(h.desktop.messages.empty());
    EXPECT_EQ(h.dialog.domainString(), c.after);
    EXPECT_EQ(h.view.items, c.items);
    EXPECT_EQ(h.view.domain, c.domain);
    EXPECT_EQ(h.view.password, c.password);
    EXPECT_FALSE(h.dialog.domainsChanged());
  }
}

TEST(SetupDialogLoad, FillsTheListAndBoxesWithoutCountingTheirClicks) {
  Harness h;
  h.core.state.glbAutoRun = true;
  h.core.state.glbMX = false;
  h.core.state.glbLogVerbose = true;
  h.Open("b.com|1,junk,A.com|2|x,,");
  EXPECT_EQ(h.view.items, (std::vector<std::string>{"b.com", "A.com"}));
  EXPECT_EQ(h.dialog.domainString(), "b.com|1,junk,A.com|2|x,,");
  EXPECT_TRUE(h.view.autoRunBox);
  EXPECT_FALSE(h.view.mxBox);
  EXPECT_TRUE(h.view.logVerboseBox);
  EXPECT_EQ(h.view.autoRunClicks, 1);
  EXPECT_FALSE(h.dialog.autoRunChanged());
  EXPECT_FALSE(h.dialog.domainsChanged());
}

TEST(SetupDialogOk, EmptyListSavesNothing) {
  Harness h;
  h.Open();
  h.view.mxBox = true;
  h.dialog.Ok();
  ASSERT_EQ(h.desktop.messages.size(), 1u);
  EXPECT_EQ(h.desktop.messages[0].text, "请您输入需要动态解析的域名");
  EXPECT_EQ(h.desktop.messages[0].title, "出错信息");
  EXPECT_EQ(h.desktop.messages[0].icon, MessageIcon::Warning);
  EXPECT_TRUE(h.written.empty());
  EXPECT_EQ(h.core.store.ReadSetting(kSettingMX), "");
  EXPECT_FALSE(h.core.state.glbMX);
  EXPECT_EQ(h.view.closeCalls, 0);
}

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(SetupDialogOk, ListSizeLimitsTable) {
  // "x.com|" + password + "," takes 7 characters besides the password.
  const struct {
    std::string name, password;
    bool saved;
  } cases[] = {
      {"999 characters", Repeat("p", 992), true},
      {"1000 characters", Repeat("p", 993), false},
      {"1023 bytes", Repeat("密", 338) + "pp", true},
      {"1024 bytes in 347 characters", Repeat("密", 338) + "ppp", false},
      {"1027 bytes", Repeat("密", 340), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.Open();
    h.Type("x.com", c.password);
    h.dialog.Add();
    h.dialog.Ok();
    const std::string list = "x.com|" + c.password + ",";
    if (c.saved) {
      EXPECT_TRUE(h.desktop.messages.empty());
      EXPECT_EQ(h.core.store.ReadSetting(kSettingDomains), list);  // reads back whole
      EXPECT_EQ(h.view.closeCalls, 1);
    } else {
      ASSERT_EQ(h.desktop.messages.size(), 1u);
      EXPECT_EQ(h.desktop.messages[0].text, kTooMany);
      EXPECT_EQ(h.desktop.messages[0].title, "出错信息");
      EXPECT_EQ(h.desktop.messages[0].icon, MessageIcon::Warning);
      EXPECT_TRUE(h.written.empty());
      EXPECT_FALSE(h.core.state.hasDomains);
      EXPECT_EQ(h.view.closeCalls, 0);
      EXPECT_EQ(h.Starts(), 0);
    }
  }
}

TEST(SetupDialogOk, SavesTheOptionsInOrderAndSetsTheState) {
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on);
    Harness h;
    h.core.state.setupWaiting = true;
    h.Open("a.com|pw,");
    h.view.autoRunBox = on;
    h.view.mxBox = !on;
    h.view.logVerboseBox = on;
    h.dialog.Ok();
    EXPECT_EQ(h.written,
              (std::vector<std::string>{"domains", "glbAutoRun", "glbMX", "glbLogVerbose"}));
    EXPECT_EQ(h.core.store.ReadSetting(kSettingDomains), "a.com|pw,");
    EXPECT_EQ(h.core.store.ReadSetting(kSettingAutoRun), on ? "true" : "false");
    EXPECT_EQ(h.core.store.ReadSetting(kSettingMX), on ? "false" : "true");
    EXPECT_EQ(h.core.store.ReadSetting(kSettingLogVerbose), on ? "true" : "false");
    EXPECT_EQ(h.core.state.glbAutoRun, on);
    EXPECT_EQ(h.core.state.glbMX, !on);
    EXPECT_EQ(h.core.state.glbLogVerbose, on);
    EXPECT_TRUE(h.core.state.hasDomains);
    EXPECT_EQ(h.view.closeCalls, 1);
    EXPECT_FALSE(h.core.state.setupWaiting);  // the close unloads the dialog
    EXPECT_EQ(h.Starts(), 0);                 // the list did not change
  }
}

TEST(SetupDialogOk, AutoRunEntryFollowsEveryClickedBox) {
  const struct {
    bool loaded, filePresent;
    int clicks;
    bool fileAfter;
  } cases[] = {
      {false, true, 0, true},  // an untouched box leaves the entry alone
      {false, false, 1, true}, {true, true, 1, false},
      {false, true, 2, false},  // clicked back: still written
      {true, false, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.loaded << c.filePresent << c.clicks);
    Harness h;
    if (c.filePresent) {
      ASSERT_TRUE(h.core.store.SetAutoRun(true));
    }
    h.core.state.glbAutoRun = c.loaded;
    h.Open("a.com|pw,");
    for (int i = 0; i < c.clicks; ++i) h.view.ClickAutoRun();
    h.dialog.Ok();
    EXPECT_EQ(testing::FileExists(h.AutoRunFile()), c.fileAfter);
    EXPECT_TRUE(h.desktop.messages.empty());
  }
}

TEST(SetupDialogOk, FailedAutoRunIsReportedOnlyWhenEnabling) {
  for (const bool enable : {true, false}) {
    SCOPED_TRACE(enable);
    Harness h;
    testing::WriteFile(h.dir / "autostart", "not a folder");
    h.core.state.glbAutoRun = !enable;
    h.Open("a.com|pw,");
    h.view.ClickAutoRun();
    h.dialog.Ok();
    if (enable) {
      ASSERT_EQ(h.desktop.messages.size(), 1u);
      EXPECT_EQ(h.desktop.messages[0].text, kAutoRunFailed);
      EXPECT_EQ(h.desktop.messages[0].title, "出错信息");
      EXPECT_EQ(h.desktop.messages[0].icon, MessageIcon::Critical);
    } else {
      EXPECT_TRUE(h.desktop.messages.empty());
    }
    EXPECT_EQ(h.core.store.ReadSetting(kSettingAutoRun), enable ? "true" : "false");
    EXPECT_EQ(h.view.closeCalls, 1);
  }
}

TEST(SetupDialogOk, OnlyAChangedListSendsStart) {
  const struct {
    std::string name;
    bool add, remove;
    int starts;
  } cases[] = {
      {"nothing", false, false, 0},
      {"added", true, false, 1},
      {"deleted", false, true, 0},
      {"added then deleted", true, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.Open("a.com|pw,c.com|pw,");
    if (c.add) {
      h.Type("b.com", "pw");
      h.dialog.Add();
    }
    if (c.remove) {
      h.view.selected = h.view.ItemCount() - 1;
      h.dialog.Delete();
    }
    h.dialog.Ok();
    EXPECT_EQ(h.Starts(), c.starts);
    EXPECT_EQ(h.core.state.lastUpdateOk, c.starts == 1);
    EXPECT_EQ(h.view.closeCalls, 1);
  }
}

TEST(SetupDialogOk, FailedStartShowsTheLogAndStillCloses) {
  Harness h({testing::Dropped()});
  h.core.shell.tray().AddTrayIcon();
  h.Open();
  h.Type("a.com", "pw");
  h.dialog.Add();
  h.dialog.Ok();
  EXPECT_EQ(h.Starts(), 1);
  EXPECT_TRUE(h.Logged("域名动态解析失败"));
  EXPECT_EQ(h.desktop.shown, std::vector<Window>{Window::LogViewer});
  ASSERT_FALSE(h.desktop.trayRequests.empty());
  EXPECT_EQ(testing::Describe(h.desktop.trayRequests.back()), "Modify 7 grey 解析失败/停止");
  EXPECT_FALSE(h.core.state.lastUpdateOk);
  EXPECT_EQ(h.view.closeCalls, 1);
}

TEST(SetupDialogOk, VerboseBoxAppliesToTheStartOfTheSameOk) {
  for (const bool verbose : {true, false}) {
    SCOPED_TRACE(verbose);
    Harness h;
    h.Open();
    h.view.logVerboseBox = verbose;
    h.Type("a.com", "pw");
    h.dialog.Add();
    h.dialog.Ok();
    EXPECT_EQ(h.Starts(), 1);
    EXPECT_EQ(h.Logged("发送命令:START...."), verbose);
  }
}

TEST(SetupDialogOk, CancelSavesAndSendsNothing) {
  Harness h;
  h.core.state.setupWaiting = true;
  h.Open("a.com|pw,");
  h.Type("b.com", "pw");
  h.dialog.Add();
  h.view.ClickAutoRun();
  h.dialog.Cancel();
  EXPECT_EQ(h.view.closeCalls, 1);
  EXPECT_FALSE(h.core.state.setupWaiting);
  EXPECT_TRUE(h.written.empty());
  EXPECT_EQ(h.server.connections(), 0);
  EXPECT_FALSE(testing::FileExists(h.AutoRunFile()));
  EXPECT_EQ(h.core.store.ReadSetting(kSettingDomains), "a.com|pw,");
}

TEST(SetupDialogMenu, WebPagesTable) {
  const struct {
    void (SetupDialog::*item)();
    std::string path;
  } cases[] = {{&SetupDialog::MenuUpgrade, "/ddns/default.asp#3"},
               {&SetupDialog::MenuHelp, "/ddns/howuse.asp"},
               {&SetupDialog::MenuBuy, "/ddns/register.asp"}};
  for (const auto& c : cases) {
    Harness h;
    (h.dialog.*c.item)();
    EXPECT_EQ(h.desktop.pages,
              std::vector<std::string>{"http://" + std::string(build::kWebHost) + c.path});
  }
}

TEST(SetupDialogMenu, QuitRemovesTheIconLogsTheStopAndEnds) {
  Harness h;
  h.core.shell.tray().AddTrayIcon();
  h.core.log.WriteLog("earlier", false);
  h.dialog.MenuQuit();
  ASSERT_FALSE(h.lines.empty());
  EXPECT_EQ(h.lines.back(), "quorvixDDNS(ver1.1)停止!");
  EXPECT_EQ(h.desktop.endProcessCalls, 1);
  EXPECT_FALSE(h.desktop.hookInstalled);
  ASSERT_GE(h.desktop.calls.size(), 3u);
  const std::vector<std::string> last(h.desktop.calls.end() - 3, h.desktop.calls.end());
  EXPECT_EQ(last, (std::vector<std::string>{"hook removed", "tray", "end process"}));
  EXPECT_EQ(h.desktop.trayRequests.back().request, TrayRequest::Delete);
}

TEST(CenterForm, Table) {
  const struct {
    float screenWidth, screenHeight, width, height, left, top;
  } cases[] = {
      {1024, 768, 300, 541, 362, 113.5f}, {1001, 601, 100, 100, 450.5f, 250.5f},
      {200, 100, 300, 541, -50, -220.5f},  // a screen smaller than the window
      {800, 600, 800, 600, 0, 0},         {15360, 11520, 4500, 8115, 5430, 1702.5f},  // in twips
  };
  for (const auto& c : cases) {
    const FormPosition position = CenterForm(c.screenWidth, c.screenHeight, c.width, c.height);
    EXPECT_FLOAT_EQ(position.left, c.left) << c.screenWidth << " " << c.width;
    EXPECT_FLOAT_EQ(position.top, c.top) << c.screenHeight << " " << c.height;
  }
}

}  // namespace
}  // namespace quorvix
