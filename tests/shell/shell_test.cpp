// The shell's logic against a scripted service and a recording desktop; the log viewer's file and
// the centring of a window.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "platform/codepage.h"
#include "shell/tray_status.h"
#include "support/shell_fixture.h"
#include "ui/setup/center_form.h"
#include "ui/windows/log_viewer.h"

namespace quorvix {
namespace {

using namespace std::chrono_literals;
using namespace quorvix::testing;

ServerStep Version(const char* major, const char* minor) {
  return Reply({"RET-CODE: 200", std::string("Major: ") + major, std::string("Minor: ") + minor});
}
ServerStep Address(std::string_view ip) {
  return Reply({"RET-CODE: 200", "Y-IP: " + std::string(ip)});
}
const std::string kHere = "获取本机公网IP成功,IP地址是:127.0.0.1";  // no gateway in between
std::string Newer(const char* version) {
  return std::string("****友情提醒****,quorvixDDNS已经有新版本(") + version + "),建议升级软件.";
}
const std::string kIntranet =
    "****友情提醒****,您的公网IP:203.0.113.7与本机IP:127.0.0.1不相同,可能您的机器在内网!"
    "必须在网关上做端口映射,将公网IP映射到您的私网IP后.您本机配置的相关服务(如FTP,WWW,MAIL等)"
    "才会生效";

struct StartupCase {
  const char* name;
  Steps script;
  bool again;        // a second instance, on a later run than the first
  Strings notices;   // logged before the first attempt
  Strings messages;  // message boxes after the icon appears
  int attempts;
  bool updated;
};

class StartupTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupTest, RunsTheSequence) {
  const StartupCase& c = GetParam();
  ShellFixture f(c.script);
  f.Store(kSettingDomains, "a.com|pw,");
  if (c.again) f.Store(kSettingFirstRun, "false");
  f.core.state.lastUpdateOk = true;  // leftovers of an earlier run count for nothing
  f.core.state.ipCheckTicks = 17;
  f.core.shell.RunStartup(c.again);

  // Per attempt: a line, the tray's tip and START, and ten seconds of events after a failure.
  // With domains the watch runs even after three failures, to recover by itself.
  Strings log{"quorvixDDNS(ver1.1)启动!"}, commands{"GETVER", "GETIP"}, calls{"quit disabled"};
  if (c.again) calls.push_back("message:提醒,本程序已经在运行");
  log.insert(log.end(), c.notices.begin(), c.notices.end());
  calls.insert(calls.end(), {"hook installed", "Add 7 grey 正在连接"});
  for (const std::string& text : c.messages) calls.push_back("message:" + text);
  std::string tip;
  for (int n = 1; n <= c.attempts; ++n) {
    tip = "尝试第" + std::to_string(n) + "次更新域名解析";
    const bool done = c.updated && n == c.attempts;
    log.insert(log.end(), {tip, done ? "域名a.com动态解析成功" : "动态解析域名失败,结果:busy"});
    commands.push_back("START");
    calls.push_back("Modify 7 grey " + tip);
  }
  calls.push_back("timer on");
  if (!c.updated) log.push_back("域名动态解析失败"), calls.push_back("show log viewer");
  const std::string image = c.updated ? "Modify 7 colour " : "Modify 7 grey ";
  calls.insert(calls.end(),
               {image + tip, image + (c.updated ? "解析成功" : "解析失败/停止"), "quit enabled"});
  EXPECT_EQ(f.lines, log);
  EXPECT_EQ(f.Commands(), commands);
  EXPECT_EQ(f.desktop.calls, calls);
  for (const ShownMessage& m : f.desktop.messages) {
    EXPECT_EQ(m.title, m.text.starts_with("提醒,") ? "警告" : "提醒");
  }
  const int pauses = c.updated ? c.attempts - 1 : c.attempts;
  EXPECT_GE(f.clock.slept, pauses * 9500ms);
  EXPECT_LE(f.clock.slept, pauses * 10500ms);
  EXPECT_GE(f.desktop.processEventsCalls, pauses * 10);
  // The first run registers the program to start with the system; later runs leave it alone.
  EXPECT_EQ(std::tuple(f.core.state.lastUpdateOk, int{f.core.state.ipCheckTicks},
                       FileExists(f.dir / "autostart/quorvixDDNS.desktop"),
                       f.core.store.ReadSetting(kSettingFirstRun)),
            std::tuple(c.updated, 0, !c.again, "false"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Scenarios, StartupTest, ::testing::Values(
    StartupCase{"SameVersion", {Version("1", "1"), Address("127.0.0.1"), UpdatedReply()}, false, {kHere}, {}, 1, true},
    StartupCase{"SecondInstanceLaterRun", {Version("1", "1"), Address("127.0.0.1"), UpdatedReply()}, true, {kHere}, {}, 1, true},
    StartupCase{"NewerVersion", {Version("2", "1"), Address("127.0.0.1"), UpdatedReply()}, false,
                {Newer("2.1"), kHere}, {"已经有新版本Ver2.1,建议升级软件"}, 1, true},
    StartupCase{"OlderVersion", {Version("1", "0"), Address("127.0.0.1"), UpdatedReply()}, false,
                {Newer("1.0"), kHere}, {"已经有新版本Ver1.0,建议升级软件"}, 1, true},
    StartupCase{"VersionUnknown", {Dropped(), Address("127.0.0.1"), UpdatedReply()}, false, {kHere}, {}, 1, true},
    StartupCase{"AddressUnknown", {Version("1", "1"), Dropped(), UpdatedReply()}, false, {"警告!获取本机IP地址失败"}, {}, 1, true},
    StartupCase{"BehindGateway", {Version("1", "1"), Address("203.0.113.7"), UpdatedReply()}, false,
                {"获取本机公网IP成功,IP地址是:203.0.113.7", kIntranet}, {}, 1, true},
    StartupCase{"SecondAttemptSucceeds", {Version("1", "1"), Address("127.0.0.1"), RefusedReply(), UpdatedReply()}, false,
                {kHere}, {}, 2, true},
    StartupCase{"ThreeFailures", {Version("1", "1"), Address("127.0.0.1"), RefusedReply()}, false, {kHere}, {}, 3, false}),
  CaseName());
// clang-format on

// The pause between attempts ends at midnight, when the time of day starts again, and processes
// events at least every second.
TEST(StartupPause, EndsAtMidnight) {
  ShellFixture f;
  f.clock.Set({2008, 6, 12, 23, 59, 55, 0});
  f.desktop.onEvents = [&f] {  // a wait that never ends fails instead of hanging the run
    if (f.desktop.processEventsCalls > 1000) throw std::runtime_error("the wait does not end");
  };
  EXPECT_NO_THROW(f.core.shell.WaitSeconds(10));
  EXPECT_GE(f.clock.slept, 5000ms);
  EXPECT_LE(f.clock.slept, 6000ms);
  EXPECT_GE(f.desktop.processEventsCalls, 5);
}

const std::string kChanged = "系统检测到您公网IP变动,新IP=198.51.100.4,尝试自动更新...;";
const std::string kToGrey = "Modify 7 grey 解析成功;Modify 7 grey 解析失败/停止;";
const std::string kToColour = "Modify 7 colour 解析失败/停止;Modify 7 colour 解析成功;";

struct WatchCase {
  const char* name;
  const char* before;  // the address known
  bool lastOk;         // the outcome of the last update
  Steps script;
  // The commands sent, the watch's own lines, the outcome, the address then known, the tray's
  // requests (only when the outcome changes).
  std::string outcome;
};

class WatchTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchTest, ChecksEveryThirtiethTick) {
  const WatchCase& c = GetParam();
  ShellFixture f(c.script);
  f.Started(c.lastOk);
  f.core.state.publicIp = c.before;
  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.server.connections() + f.lines.size(), 0u);
  f.core.shell.OnWatchTick();
  std::string outcome;
  for (const std::string& command : f.Commands()) outcome += command + " ";
  for (const std::string& line : f.lines) {
    if (line.starts_with("系统检测到") || line.starts_with("更新IP")) outcome += line + ";";
  }
  outcome += (f.core.state.lastUpdateOk ? " ok " : " failed ") + f.core.state.publicIp + " ";
  for (const std::string& call : f.desktop.calls) outcome += call + ";";
  EXPECT_EQ(outcome, c.outcome);
  // The count starts again whatever the check found.
  const std::size_t sent = f.Commands().size();
  for (int tick = 1; tick < 30; ++tick) f.core.shell.OnWatchTick();
  EXPECT_EQ(f.Commands().size(), sent);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Checks, WatchTest, ::testing::Values(
    WatchCase{"Unchanged",         "203.0.113.7", true,  {Address("203.0.113.7")},                  "GETIP  ok 203.0.113.7 "},
    WatchCase{"ChangedUpdated",    "203.0.113.7", true,  {Address("198.51.100.4"), UpdatedReply()}, "GETIP START " + kChanged + "更新IP成功; ok 198.51.100.4 "},
    WatchCase{"ChangedRefused",    "203.0.113.7", true,  {Address("198.51.100.4"), RefusedReply()}, "GETIP START " + kChanged + "更新IP失败; failed 198.51.100.4 " + kToGrey},
    WatchCase{"RetriedUpdated",    "203.0.113.7", false, {Address("203.0.113.7"), UpdatedReply()},  "GETIP START 更新IP成功; ok 203.0.113.7 " + kToColour},
    WatchCase{"RetriedRefused",    "203.0.113.7", false, {Address("203.0.113.7"), RefusedReply()},  "GETIP START 更新IP失败; failed 203.0.113.7 "},
    WatchCase{"AddressUnknown",    "203.0.113.7", false, {Dropped()},                               "GETIP  failed 203.0.113.7 "},
    WatchCase{"FirstAddress",      "",           true,  {Address("198.51.100.4"), UpdatedReply()}, "GETIP START " + kChanged + "更新IP成功; ok 198.51.100.4 "}),
  CaseName());
// clang-format on

// A change of the machine's addresses brings the watch's check forward, only while the watch
// runs: a burst gives one check once quiet, a storm is checked 10 s after its first notification,
// the tick count goes on, and a notification during a check is checked after it, not inside it.
TEST(EarlyCheckTest, SettlesThenChecksOnceWhileTheWatchRuns) {
  using std::chrono::milliseconds;
  ShellFixture f({UpdatedReply(), Address("198.51.100.4"), UpdatedReply(), Address("198.51.100.4"),
                  Address("198.51.100.4"), UpdatedReply()});
  f.Started(true);
  Shell& shell = f.core.shell;
  const Shell::SteadyTime t0{};
  EXPECT_FALSE(shell.AddressesChanged(t0));  // the watch is off: kept for when it starts
  EXPECT_FALSE(shell.RunEarlyCheck(t0 + milliseconds(60000)));
  ASSERT_TRUE(shell.Refresh());
  EXPECT_EQ(shell.EarlyCheckDue(), t0 + milliseconds(2000));
  f.core.state.ipCheckTicks = 7;
  f.core.state.glbLogVerbose = true;
  std::optional<Shell::SteadyTime> due;
  for (const int at : {0, 400, 1500}) due = shell.AddressesChanged(t0 + milliseconds(at));
  ASSERT_EQ(due, t0 + milliseconds(3500));
  EXPECT_EQ(shell.RunEarlyCheck(t0 + milliseconds(3499)), due);
  EXPECT_EQ(f.Commands(), Strings{"START"});
  EXPECT_FALSE(shell.RunEarlyCheck(*due));
  EXPECT_EQ(f.Commands(), (Strings{"START", "GETIP", "START"}));
  EXPECT_TRUE(f.Logged("系统检测到本机网络地址变动,提前检查公网IP"));
  EXPECT_EQ(f.core.state.ipCheckTicks, 7);
  EXPECT_FALSE(shell.RunEarlyCheck(*due + milliseconds(60000)));

  for (int at = 0; at <= 20000; at += 1000) due = shell.AddressesChanged(t0 + milliseconds(at));
  EXPECT_EQ(due, t0 + milliseconds(10000));
  // During that check a new notification wants a check at once: none inside the running one.
  std::optional<Shell::SteadyTime> inside;
  f.core.log.SetLineObserver([&](std::string_view line) {
    if (line.find("提前检查") == line.npos || inside) return;
    shell.AddressesChanged(t0 + milliseconds(30000));
    inside = shell.RunEarlyCheck(t0 + milliseconds(40000));
  });
  EXPECT_EQ(shell.RunEarlyCheck(t0 + milliseconds(20000)), t0 + milliseconds(32000));
  EXPECT_EQ(inside, t0 + milliseconds(42000));
  EXPECT_EQ(f.Commands().size(), 4u);
  // That check follows; the last update failed, so it is sent again. A stop forgets what waits.
  f.core.state.lastUpdateOk = false;
  EXPECT_FALSE(shell.RunEarlyCheck(t0 + milliseconds(40000)));
  ASSERT_TRUE(shell.AddressesChanged(t0 + milliseconds(50000)));
  ASSERT_TRUE(shell.Stop());
  EXPECT_FALSE(shell.RunEarlyCheck(t0 + milliseconds(60000)));
  EXPECT_FALSE(shell.AddressesChanged(t0 + milliseconds(60000)));
  EXPECT_EQ(f.Commands(), (Strings{"START", "GETIP", "START", "GETIP", "GETIP", "START", "STOP"}));
}

// All domains failed is a failed refresh; some failed, a success whose tip counts them; unsent ones
// in the reply are ignored.
TEST(TruthfulRefresh, TheOutcomeAndTheTipFollowEachDomain) {
  struct Case {
    const char* list;
    bool ok;
    const char* tip;
    Strings lines;
  } cases[] = {
      // clang-format off
      {"a.com|200,B.COM|200,", true, "解析成功", {"域名a.com动态解析成功", "域名B.COM动态解析成功"}},
      {"a.com|200,b.com|404gone, ", true, "解析成功,1个域名失败", {"域名a.com动态解析成功", "域名b.com动态解析失败,gone"}},
      {"a.com|404gone,b.com|403bad,", false, "解析失败/停止", {"域名a.com动态解析失败,gone", "域名b.com动态解析失败,bad", "域名动态解析失败"}},
      {"evil.com|200,a.com|403bad,", false, "解析失败/停止", {"域名a.com动态解析失败,bad", "服务器返回了1个未发送域名的结果,已忽略", "域名动态解析失败"}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    ShellFixture f({Reply({"RET-CODE: 200", std::string("RET-DMLIST: ") + c.list})});
    f.Started(true);
    f.Store(kSettingDomains, "a.com|pw,b.com|pw,");
    f.core.state.glbLogVerbose = true;
    EXPECT_EQ(f.core.shell.Refresh(), c.ok);
    Strings lines;
    for (const std::string& line : f.lines) {
      if (line.starts_with("域名") || line.starts_with("服务器返回了")) lines.push_back(line);
    }
    // The log viewer's line "域名动态解析失败" starts the same way: compare in order.
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(f.desktop.calls.back(),
              std::string("Modify 7 ") + (c.ok ? "colour " : "grey ") + c.tip);
    EXPECT_EQ(f.core.state.lastUpdateOk, c.ok);
  }
}

// The tip counts failed domains within the 63 bytes the icon's tip holds.
TEST(TruthfulRefresh, TheCountOfFailedDomainsFitsTheTip) {
  FakeDesktop desktop;
  TrayStatus tray(desktop);
  tray.Stop_Connect_status(true, 2147483647);
  EXPECT_LE(platform::EncodeCp936(tray.record().tip).bytes.size(), 63u);
  tray.Stop_Connect_status(false, 2);
  EXPECT_EQ(tray.record().tip, "解析失败/停止");
}

// A start-up broken off by an error enables Quit and stops showing "正在连接".
TEST(StartupBrokenOff, EnablesQuitAndShowsTheFailure) {
  ShellFixture f({Dropped()});
  f.desktop.onShow = [](Window) { throw std::runtime_error("no window"); };  // the settings
  f.core.shell.Guarded([&] { f.core.shell.RunStartup(false); });
  const auto quit = std::ranges::find(f.desktop.calls, "quit enabled");
  ASSERT_NE(quit, f.desktop.calls.end());
  EXPECT_EQ(*(quit - 1), "Modify 7 grey 解析失败/停止");
  ASSERT_EQ(f.desktop.messages.size(), 1u);
  EXPECT_TRUE(f.desktop.messages[0].text.ends_with("no window"));
}

TEST(GuardedTest, ReportsAnEscapingErrorAndGoesOn) {
  const std::string prefix = "系统在运行过程中发生了一个错误,错误信息是:";
  ShellFixture f;
  EXPECT_NO_THROW(f.core.shell.Guarded([] { throw std::runtime_error("boom"); }));
  EXPECT_NO_THROW(f.core.shell.Guarded([] { throw 7; }));
  ASSERT_EQ(f.desktop.messages.size(), 2u);
  EXPECT_EQ(f.desktop.messages[0].text, prefix + "boom");
  EXPECT_TRUE(f.desktop.messages[1].text.starts_with(prefix)) << f.desktop.messages[1].text;
  EXPECT_EQ(f.desktop.messages[1].title, "quorvixDDNS");
  EXPECT_EQ(f.lines, (Strings{f.desktop.messages[0].text, f.desktop.messages[1].text}));
}

TEST(LogViewer, ReadsEveryLineEndingInCrLfAndScrollsToTheNewest) {
  const auto lines = [](std::size_t count) {  // as the event log writes them
    std::string text;
    while (count-- > 0) text += "2008-6-12 14:05:09\t第" + std::to_string(count) + "行\r\n";
    return text;
  };
  const struct {
    std::optional<std::string> file;  // none: missing
    std::string text;
    std::size_t lines, scroll;
  } cases[] = {
      {std::nullopt, "", 0, 0},
      {"", "", 0, 0},
      {lines(23), lines(23), 23, 0},
      {lines(24), lines(24), 24, 1},
      {lines(40000), lines(40000), 40000, 39977},  // no 16-bit limit
      {"a\nb\n", "a\r\nb\r\n", 2, 0},              // a lone LF ends a line too
      {"a\r\nb", "a\r\nb\r\n", 2, 0},              // the unfinished last line still gets its own
      {"\r\n\r\n", "\r\n\r\n", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    TempDir dir;
    if (c.file) WriteFile(dir / "q.log", *c.file);
    const LogSnapshot read = ReadLogSnapshot(dir / "q.log");
    EXPECT_EQ(std::tuple(read.error, read.text, read.lines, read.scroll),
              std::tuple("", c.text, c.lines, c.scroll));
  }
}

TEST(LogViewer, ClearDeletesTheFileAndSaysWhyItCannot) {
  TempDir dir;
  const auto clear = [](const std::string& path) {
    const ClearResult result = ClearLogFile(path);
    return std::tuple(result.existed, result.deleted, result.error.empty());
  };
  WriteFile(dir / "q.log", "x\r\n");
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(true, true, true));
  EXPECT_FALSE(FileExists(dir / "q.log"));
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(false, false, true));
  // A folder in the file's place cannot be read or deleted.
  std::filesystem::create_directory(dir / "q.log");
  WriteFile(dir / "q.log/inside", "x");
  EXPECT_NE(ReadLogSnapshot(dir / "q.log").error, "");
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(true, false, false));
}

TEST(CenterForm, HalvesStayAndANarrowScreenGivesANegativeLeft) {
  const auto at = [](FormPosition p) { return std::pair(p.left, p.top); };
  EXPECT_EQ(at(CenterForm(1001, 601, 100, 100)), std::pair(450.5f, 250.5f));
  EXPECT_EQ(at(CenterForm(200, 100, 300, 541)), std::pair(-50.0f, -220.5f));
}

}  // namespace
}  // namespace quorvix
