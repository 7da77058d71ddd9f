// The settings dialog's logic over a fake view, wired to a real client core whose store and log
// live in a temporary folder and whose service is a script server on 127.0.0.1.
#include "ui/setup/setup_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "support/fake_setup_view.h"
#include "support/loopback_setup.h"
#include "support/shell_fixture.h"
#include "ui/setup/center_form.h"

namespace quorvix {
namespace {

constexpr std::string_view kInvalid = "域名无效,请输入正确的域名";
constexpr std::string_view kWww =
    "不能含有www.,假如您的域名是www.myhome.com,仅需填写myhome.com即可";
constexpr std::string_view kTooMany = "抱歉,您输入的域名过多!";

// Messages as Harness::Messages() lists them.
std::string Prompt(std::string_view text) { return "W 出错提示: " + std::string(text) + "\n"; }
std::string Info(std::string_view text, char icon = 'W') {
  return icon + (" 出错信息: " + std::string(text) + "\n");
}

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

// The folder store, noting the name of every value written so the order can be checked.
class RecordingBackend final : public platform::SettingsBackend {
 public:
  RecordingBackend(const testing::TempDir& dir, std::vector<std::string>& written)
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
  explicit Harness(std::vector<testing::ServerStep> script = {testing::UpdatedReply()})
      : server(std::move(script)), core(desktop, clock, Setup()) {
    view.dialog = &dialog;
    core.log.SetLineObserver(
        [this](std::string_view line) { lines.emplace_back(line.substr(line.find('\t') + 1)); });
  }
  ClientSetup Setup() {
    ClientSetup setup = testing::LoopbackSetup(dir, server.port(), std::chrono::seconds(5));
    setup.backend = std::make_unique<RecordingBackend>(dir, written);
    return setup;
  }

  // Opens the dialog over a stored list, as showing it does; nothing written so far counts.
  void Open(std::string_view list = "") {
    EXPECT_TRUE(list.empty() || core.store.WriteSetting(kSettingDomains, list));
    dialog.Load();
    written.clear();
  }
  void Add(std::string domain, std::string password) {
    view.domain = std::move(domain);
    view.password = std::move(password);
    dialog.Add();
  }
  int Starts() const {
    int starts = 0;
    for (const std::string& sent : server.requests())
      starts += sent.find("Command=START") != std::string::npos;
    return starts;
  }
  bool Logged(std::string_view line) const { return std::ranges::count(lines, line) > 0; }
  // Each message as "icon title: text", the icon as its initial.
  std::string Messages() const {
    std::string all;
    for (const auto& m : desktop.messages) {
      all += "IWC"[static_cast<int>(m.icon)] + (" " + m.title + ": " + m.text + "\n");
    }
    return all;
  }
  // "items, [domain box/password box] list string", then " changed" once the list changed.
  std::string State() const {
    std::string items;
    for (const std::string& item : view.items) items += item + ",";
    return items + " [" + view.domain + "/" + view.password + "] " + dialog.domainString() +
           (dialog.domainsChanged() ? " changed" : "");
  }
  bool AutoRunEntry() const { return testing::FileExists(dir / "autostart/quorvixDDNS.desktop"); }

  testing::TempDir dir;
  testing::FakeDesktop desktop;
  testing::FakeClock clock;
  testing::ScriptServer server;
  std::vector<std::string> written;
  ClientCore core;
  testing::FakeSetupView view;
  SetupDialog dialog{view, core.services(), core.shell};
  std::vector<std::string> lines;  // logged, without the time stamp
};

TEST(SetupDialogAdd, RefusalsInOrderAndAcceptanceTable) {
  const struct {
    std::string domain, password, message, focus;  // no message: added
  } cases[] = {
      {"", "", Prompt(kInvalid), "domain"},  // the domain is checked before the password
      {"ab", "", Prompt(kInvalid), "domain"},
      {"abc", "", Prompt("请输入域名管理密码"), "password"},
      {"abc", "p,w", Prompt("管理密码中不可含有逗号,请修改后再设置"), "password"},
      {"abc", "pw", Prompt(kInvalid), "domain"},  // the dot is checked after the password
      {"a b.com", "pw", Prompt(kInvalid), "domain"},
      {"a_b.com", "pw", Prompt(kInvalid), "domain"},
      {"中文.com", "pw", Prompt(kInvalid), "domain"},
      {"www.x.com", "pw", Prompt(kWww), "domain"},
      {"WWW.x.com", "pw", Prompt(kWww), "domain"},
      {"Www.x.com", "pw", Prompt(kWww), "domain"},
      {"A.COM", "pw", Prompt("A.COM已经存在"), ""},  // in any case, named as typed
      {"a.b", "pw", "", ""},
      {"wwww.x.com", "pw", "", ""},
      {"x.www.com", "pw", "", ""},
      {"Sub-1.A.com", "中文|p", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.domain + " / " + c.password);
    Harness h;
    h.Open("a.com|pw,");
    h.Add(c.domain, c.password);
    EXPECT_EQ(h.Messages(), c.message);
    EXPECT_EQ(h.view.focus, c.focus);
    EXPECT_EQ(h.State(), c.message.empty()
                             ? "a.com," + c.domain + ", [/] a.com|pw," + c.domain + "|" +
                                   c.password + ", changed"
                             : "a.com, [" + c.domain + "/" + c.password + "] a.com|pw,");
  }
}

TEST(SetupDialogList, DeleteAndTakeBack) {
  // Over `list`, with "typed/kept" in the boxes and item `selected` chosen: messages and state.
  const auto act = [](void (SetupDialog::*action)(), std::string_view list, int selected) {
    Harness h;
    h.Open(list);
    h.view.domain = "typed";
    h.view.password = "kept";
    h.view.selected = selected;
    (h.dialog.*action)();
    return h.Messages() + h.State();
  };
  const auto del = &SetupDialog::Delete, takeBack = &SetupDialog::TakeBack;
  EXPECT_EQ(act(del, "a.com|1,", -1),
            Prompt("请选择要删除的域名") + "a.com, [typed/kept] a.com|1,");
  // Every entry of the domain leaves the string, only the selected item the list.
  EXPECT_EQ(act(del, "a.com|1,b.com|2,a.com|3,", 0), "b.com,a.com, [typed/kept] b.com|2,");
  EXPECT_EQ(act(takeBack, "a.com|1,b.com|2|x,", -1),
            "a.com,b.com, [typed/kept] a.com|1,b.com|2|x,");
  EXPECT_EQ(act(takeBack, "a.com|1,b.com|2|x,", 1), "a.com, [b.com/2|x] a.com|1,");
  // The last entry of the domain gives the password; letter case must match.
  EXPECT_EQ(act(takeBack, "a.com|1,b.com|2,a.com|3,", 0), "b.com,a.com, [a.com/3] b.com|2,");
  EXPECT_EQ(act(takeBack, "A.com|1,a.com|2,", 0), "a.com, [A.com/1] a.com|2,");
}

TEST(SetupDialogLoad, FillsTheListAndBoxesWithoutCountingTheirClicks) {
  Harness h;
  h.core.state.glbAutoRun = true;  // its box changes, which raises a click
  h.core.state.glbLogVerbose = true;
  h.Open("b.com|1,junk,A.com|2|x,,");
  EXPECT_EQ(h.State(), "b.com,A.com, [/] b.com|1,junk,A.com|2|x,,");
  EXPECT_EQ(std::tuple(h.view.autoRunBox, h.view.mxBox, h.view.verboseBox),
            std::tuple(true, false, true));
  EXPECT_FALSE(h.dialog.autoRunChanged());
}

TEST(SetupDialogOk, ListSizeTable) {
  const struct {
    std::string name, password, message;  // no password: nothing added
  } cases[] = {
      {"empty list", "", Info("请您输入需要动态解析的域名")},
      // "x.com|" + password + "," takes 7 characters besides the password.
      {"999 characters", std::string(992, 'p'), ""},
      {"1000 characters", std::string(993, 'p'), Info(kTooMany)},
      {"1023 bytes", Repeat("密", 338) + "pp", ""},
      {"1024 bytes in 347 characters", Repeat("密", 338) + "ppp", Info(kTooMany)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.Open();
    if (!c.password.empty()) h.Add("x.com", c.password);
    h.dialog.Ok();
    const bool saved = c.message.empty();
    EXPECT_EQ(h.Messages(), c.message);
    EXPECT_EQ(h.core.store.ReadSetting(kSettingDomains), saved ? "x.com|" + c.password + "," : "");
    EXPECT_EQ(std::tuple(h.written.size(), h.core.state.hasDomains, h.view.closeCalls, h.Starts()),
              std::tuple(saved ? 4u : 0u, saved, saved ? 1 : 0, saved ? 1 : 0));
  }
}

TEST(SetupDialogOk, AutoRunEntryFollowsEveryClickedBoxAndOnlyAFailedEnableIsReported) {
  // Over an entry or a file in its folder's place: the entry after OK, and the messages.
  const auto ok = [](bool entry, bool blocked, bool loaded, int clicks) {
    Harness h;
    EXPECT_TRUE(!entry || h.core.store.SetAutoRun(true));
    if (blocked) testing::WriteFile(h.dir / "autostart", "not a folder");
    h.core.state.glbAutoRun = loaded;
    h.Open("a.com|pw,");
    while (clicks-- > 0) h.view.ClickAutoRun();
    h.dialog.Ok();
    return h.Messages() + (h.AutoRunEntry() ? "entry" : "none");
  };
  EXPECT_EQ(ok(true, false, false, 0), "entry");  // an untouched box leaves the entry alone
  EXPECT_EQ(ok(true, false, false, 2), "none");   // clicked back: still written
  EXPECT_EQ(
      ok(false, true, false, 1),
      Info("注册表启动项写入失败,请检查是否开启了杀毒软件禁止本程序改写注册表", 'C') + "none");
  EXPECT_EQ(ok(false, true, true, 1), "none");
}

TEST(SetupDialogOk, SavesInOrderAndOnlyAnAddedDomainSendsStart) {
  // Steps after opening over "a.com|pw,c.com|pw,", in order, then OK unless "cancel"; the
  // values saved, in the order written.
  const struct {
    std::string steps;
    int starts;
    std::string saved;
  } cases[] = {
      {"add", 1, "a.com|pw,c.com|pw,b.com|pw, false false false "},
      // The verbose box applies to the START of the same OK.
      {"verbose add", 1, "a.com|pw,c.com|pw,b.com|pw, false false true "},
      {"autorun mx", 0, "a.com|pw,c.com|pw, true true false "},
      {"verbose delete", 0, "a.com|pw, false false true "},        // a deletion alone sends nothing
      {"add delete", 1, "a.com|pw,c.com|pw, false false false "},  // the addition still counts
      // The log viewer shows why, and the dialog still closes.
      {"add failing", 1, "a.com|pw,c.com|pw,b.com|pw, false false false "},
      {"add autorun cancel", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.steps);
    const auto has = [&](std::string_view step) { return c.steps.find(step) != c.steps.npos; };
    Harness h({has("failing") ? testing::Dropped() : testing::UpdatedReply()});
    h.core.state.setupWaiting = true;
    h.Open("a.com|pw,c.com|pw,");
    h.view.mxBox = has("mx");
    h.view.verboseBox = has("verbose");
    if (has("add")) h.Add("b.com", "pw");
    if (has("autorun")) h.view.ClickAutoRun();
    h.view.selected = has("delete") ? h.view.ItemCount() - 1 : -1;
    if (has("delete")) h.dialog.Delete();
    has("cancel") ? h.dialog.Cancel() : h.dialog.Ok();
    const bool saved = !has("cancel");
    std::string values;
    for (const std::string& name : h.written) values += h.core.store.ReadSetting(name) + " ";
    EXPECT_EQ(values, c.saved);
    const std::vector<std::string> order = {"domains", "glbAutoRun", "glbMX", "glbLogVerbose"};
    EXPECT_EQ(h.written, saved ? order : std::vector<std::string>{});
    const ProgramState& s = h.core.state;
    EXPECT_EQ(
        std::tuple(s.glbAutoRun, s.glbMX, s.glbLogVerbose, s.hasDomains),
        std::tuple(saved && has("autorun"), saved && has("mx"), saved && has("verbose"), saved));
    EXPECT_EQ(h.AutoRunEntry(), saved && has("autorun"));
    EXPECT_EQ(h.Starts(), c.starts);
    EXPECT_EQ(h.core.state.lastUpdateOk, c.starts == 1 && !has("failing"));
    EXPECT_EQ(h.Logged("发送命令:START...."), has("verbose") && c.starts == 1);
    EXPECT_EQ(h.Logged("域名动态解析失败"), has("failing"));
    EXPECT_EQ(h.desktop.shown,
              has("failing") ? std::vector{Window::LogViewer} : std::vector<Window>{});
    EXPECT_EQ(h.view.closeCalls, 1);
    EXPECT_FALSE(h.core.state.setupWaiting);  // the close unloads the dialog
  }
}

TEST(CenterForm, HalvesStayAndANarrowScreenGivesANegativeLeft) {
  const auto at = [](FormPosition p) { return std::pair(p.left, p.top); };
  EXPECT_EQ(at(CenterForm(1001, 601, 100, 100)), std::pair(450.5f, 250.5f));
  EXPECT_EQ(at(CenterForm(200, 100, 300, 541)), std::pair(-50.0f, -220.5f));
}

}  // namespace
}  // namespace quorvix
