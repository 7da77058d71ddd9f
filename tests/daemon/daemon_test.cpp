// The headless client's commands in-process against the service on loopback; both programs.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "build_config.h"
#include "headless/daemon_commands.h"
#include "http/server.h"
#include "platform/instance_lock.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;
using namespace std::chrono_literals;

constexpr const char* kDemoEntry = "demo.example.com|Zebra-Quartz-7731,";  // a password to find
const std::string kResolved = "\t域名demo.example.com动态解析成功\n";
const std::string kNobody = "nobody.example.org|x,";  // no such account

bool Has(std::string_view text, std::string_view part) { return text.find(part) != text.npos; }

// The service with the demo account. Each command gets a fresh setup, as separate runs would.
class DaemonTest : public ::testing::Test {
 protected:
  DaemonTest() { database.AddAccount("demo.example.com", "Zebra-Quartz-7731"); }

  std::tuple<int, std::string, std::string> Command(const Strings& args,
                                                    const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    DaemonContext context{in, out, err, clock, LoopbackSetup(dir, server.port(), 5s)};
    const int status = RunDaemonCommand(args, context);
    return {status, out.str(), err.str()};
  }
  void Store(const std::string& folder, const std::string& domains) {
    platform::PosixSettingsBackend({dir / folder, dir / "autostart"}).SetValue("domains", domains);
  }
  std::string Stored(const std::string& name) const { return ReadFile(dir / ("config/" + name)); }
  Strings Received() {  // since the last call
    std::lock_guard lock(mutex);
    return std::exchange(received, {});
  }

  TempDir serviceDir;
  service::Database database{serviceDir / "service.db"};
  std::mutex mutex;
  Strings received;  // the commands the service received, in order
  service::Server server{database, {}, [this](const std::string& line) {
                           std::lock_guard lock(mutex);
                           received.push_back(line.substr(0, line.find(' ')));
                         }};
  TempDir dir;
  FakeClock clock;
};

// `out`: a part of standard output (empty: none); `err`: all standard error, or with 2 a part.
TEST_F(DaemonTest, CommandsShowTheirOutcomeInTheStatus) {
  const std::string three = "a.com|pa,A.com|pA,b.com|pb,";
  // clang-format off
  const struct { Strings args; std::string before; int status; std::string out, err, after; Strings received; } cases[] = {
      // add: refusals alone on standard error; else stored and sent, whatever the outcome.
      {{"add", "x_y.com", "--password-stdin"}, "", 1, "", "出错提示: 域名无效,请输入正确的域名\n", "", {}},
      {{"add", "demo.example.com", "--password-stdin"}, "a.com|x,", 0, kResolved, "", "a.com|x," + std::string(kDemoEntry), {"START"}},
      {{"add", "nobody.example.org", "--password-stdin"}, "", 0, "\t域名nobody.example.org动态解析失败,域名不存在\n", "", "nobody.example.org|Zebra-Quartz-7731,", {"START"}},
      // del: the exact name first, else the one name that matches in another case; never the last.
      {{"del", "A.com"}, three, 0, "", "", "a.com|pa,b.com|pb,", {}},
      {{"del", "B.COM"}, three, 0, "", "", "a.com|pa,A.com|pA,", {}},
      {{"del", "c.com"}, three, 1, "", "出错提示: 域名c.com不存在\n", three, {}},
      {{"del", "a.com"}, "a.com|pa,", 1, "", "出错信息: 请您输入需要动态解析的域名\n", "a.com|pa,", {}},
      {{"list"}, three, 0, "a.com\nA.com\nb.com\n", "服务器: ddns.quorvix.com:", three, {}},
      // refresh and stop: 0 when every domain succeeded, 3 when some failed, 1 when all did.
      {{"refresh"}, kDemoEntry, 0, kResolved, "", kDemoEntry, {"START"}},
      {{"refresh"}, kDemoEntry + kNobody, 3, kResolved, "", kDemoEntry + kNobody, {"START"}},
      {{"refresh"}, kNobody, 1, "\t域名动态解析失败\n", "", kNobody, {"START"}},
      {{"refresh"}, "", 1, "\t执行命令失败,请先设置好要解析的域名\n", "", "", {}},
      {{"stop"}, kDemoEntry, 0, "\t域名demo.example.com停止解析成功\n", "", kDemoEntry, {"STOP"}},
      {{"stop"}, kNobody + kDemoEntry, 3, "\t域名demo.example.com停止解析成功\n", "", kNobody + kDemoEntry, {"STOP"}},
      // A password the service could never check is refused before anything is stored.
      {{"add", "c.com", "--password-stdin", "--password-stdin"}, "", 1, "", "出错提示: 密码只能包含英文字母、数字和英文符号, 含有其他字符的密码无法签名\n", "", {}},
      {{"set", "server", "a_b:80"}, "", 2, "", "主机[:端口]", "", {}},
      {{"set", "server", "a.com:65536"}, "", 2, "", "主机[:端口]", "", {}},
      {{"log", "-n", "x"}, "", 2, "", "-n 后面要跟一个行数", "", {}},
      {{"list", "-n", "1"}, "", 2, "", "只用于 log", "", {}},
      {{"--version"}, "", 0, "quorvixddnsd 1.1\n", "", "", {}},
      {{"--help"}, "", 0, "set autorun|mx|verbose on|off", "", "", {}},
      {{"add", "a.com", "--password-stdin", "-h"}, "", 0, "用法: quorvixddnsd add 域名 [", "", "", {}},
      {{}, "", 2, "", "缺少命令", "", {}},
      {{"start"}, "", 2, "", "未知的命令: start", "", {}},
      {{"list", "--all"}, "", 2, "", "未知的选项: --all", "", {}},
      {{"del", "a.com", "--password-stdin"}, "", 2, "", "只用于 add", "", {}},
      {{"add", "a.com"}, "", 2, "", "--password-stdin", "", {}},
      {{"del"}, "", 2, "", "del 的参数不对", "", {}},
      {{"set", "mx", "yes"}, three, 2, "", "on 或 off", three, {}},
      {{"set", "colour", "on"}, "", 2, "", "未知的参数: colour", "", {}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Store("config", c.before);
    const bool unsignable = std::ranges::count(c.args, "--password-stdin") == 2;
    const auto [status, out, err] = Command(c.args, unsignable ? "密码\n" : "Zebra-Quartz-7731\n");
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(c.out.empty() ? out.empty() : Has(out, c.out)) << out;
    EXPECT_TRUE(c.status == 2   ? Has(err, c.err) && Has(err, "用法: quorvixddnsd ")
                : c.err.empty() ? err.empty()
                                : err.starts_with(c.err))
        << err;
    EXPECT_EQ(Stored("domains"), c.after);
    EXPECT_EQ(Received(), c.received);
  }
}

// No password in the output or log; the log file's CR LF (and the reply's) reaches neither the
// echo nor `log`. The first `run` keeps its work for itself.
TEST_F(DaemonTest, SettingsOutputAndLog) {
  std::string seen;
  for (const auto& [call, expected] : {std::pair{"add demo.example.com --password-stdin", 0},
                                       {"set verbose on", 0},
                                       {"add Demo.Example.com --password-stdin", 1},
                                       {"list", 0},
                                       {"refresh", 0},
                                       {"stop", 0}}) {
    std::istringstream words(call);
    const auto [status, out, err] = Command({std::istream_iterator<std::string>(words), {}},
                                            *call == 'a' ? "Zebra-Quartz-7731\n" : "");
    EXPECT_EQ(status, expected) << call;
    seen += out + err;
  }
  // The reply stays on its one line, its line ends escaped.
  EXPECT_TRUE(Has(seen, "\t服务器返回结果:\\r\\nHTTP/1.1 200 OK\\r\\n")) << seen;
  std::string file = ReadFile(dir / "quorvixDDNS.log");
  EXPECT_TRUE(Has(file, "\t服务器返回结果:\\r\\nHTTP/1.1 200 OK\\r\\n")) << file;
  EXPECT_FALSE(Has(seen, "\r") || Has(seen + file, "Zebra-Quartz-7731"));
  std::erase(file, '\r');
  EXPECT_EQ(std::get<1>(Command({"log"})), file);
  EXPECT_FALSE(FileExists(dir / "config/glbFirstRun") || FileExists(dir / "autostart"));
  // Each option both ways; the autostart entry starts the client with `run`.
  for (const auto& [sets, stored] : {std::pair{"autorun on mx off verbose off", "truefalsefalse"},
                                     {"autorun off mx on verbose on", "falsetruetrue"}}) {
    std::istringstream words(sets);
    for (std::string name, value; words >> name >> value;)
      EXPECT_EQ(std::get<0>(Command({"set", name, value})), 0) << name;
    EXPECT_EQ(Stored("glbAutoRun") + Stored("glbMX") + Stored("glbLogVerbose"), stored);
    EXPECT_EQ(
        Has(ReadFile(dir / "autostart/quorvixDDNS.desktop"), "\nExec=/opt/q/quorvixDDNS run\n"),
        *stored == 't');
  }
  EXPECT_EQ(Received(), (Strings{"START", "START", "STOP"}));
}

// One client per configuration, settings changes in turn, the state, the log's tail, a server.
TEST_F(DaemonTest, OneClientTakesTurnsAndReportsItsState) {
  {
    const platform::InstanceLock tray("quorvixDDNS");  // the tray program of this configuration
    const auto [status, out, err] = Command({"run"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(Has(err, "已经有客户端")) << err;
    EXPECT_TRUE(Has(std::get<1>(Command({"status"})), "客户端: 正在运行\n"));
  }
  // Adds at once (two threads here) all stay: each read-modify-write waits for the one before.
  const auto adds = [this](std::string prefix) {
    for (int n = 0; n < 4; ++n)
      Command({"add", prefix + char('0' + n) + ".com", "--password-stdin"}, "pw\n");
  };
  std::jthread(adds, "a"), adds("b");  // the thread joins at the end of the statement
  EXPECT_EQ(std::ranges::count(Stored("domains"), ','), 8) << Stored("domains");

  Store("config", kDemoEntry + kNobody);
  EXPECT_EQ(std::get<0>(Command({"refresh"})), 3);
  const std::string status = std::get<1>(Command({"status"}));
  for (const char* part : {"客户端: 未运行\n", "上次命令: START 成功 (2008-6-12 14:05:09)\n",
                           "  demo.example.com  START 成功 (2008-6-12 14:05:09)\n",
                           "  nobody.example.org  START 失败: 404"}) {
    EXPECT_TRUE(Has(status, part)) << status;
  }
  EXPECT_EQ(std::get<1>(Command({"log", "-n", "2"})),
            "2008-6-12 14:05:09\t域名demo.example.com动态解析成功\n"
            "2008-6-12 14:05:09\t域名nobody.example.org动态解析失败,域名不存在\n");

  // A self-hosted service: every command goes there; `default` goes back.
  ScriptServer silent({ServerStep::Of(ServerStep::Kind::CloseAtOnce)});
  EXPECT_EQ(std::get<0>(Command({"set", "server", "127.0.0.1:" + std::to_string(silent.port())})),
            0);
  EXPECT_EQ(std::get<0>(Command({"refresh"})), 1);
  EXPECT_EQ(silent.connections(), 1);
  EXPECT_TRUE(
      Has(std::get<1>(Command({"status"})), "服务器: 127.0.0.1:" + std::to_string(silent.port())));
  EXPECT_EQ(std::get<0>(Command({"set", "server", "default"})), 0);
  EXPECT_EQ(std::get<0>(Command({"refresh"})), 3);
  EXPECT_EQ(Received(), Strings(10, "START"));  // eight adds, two refreshes
}

// The headless client starts with the system as a systemd user unit, enabled as systemctl would.
TEST(HeadlessAutoRun, IsASystemdUserUnit) {
  TempDir dir;
  const std::string units = dir / "user", link = units + "/default.target.wants/q.service";
  platform::PosixSettingsBackend backend(
      {dir / "c", units, platform::AutoRunKind::SystemdUserUnit});
  ASSERT_EQ(backend.SetAutoRunEntry("q", "/opt/my q/q", "run"),
            platform::SettingsBackend::Status::Ok);
  EXPECT_TRUE(Has(ReadFile(units + "/q.service"), "\nExecStart=\"/opt/my q/q\" run\n"));
  EXPECT_EQ(std::filesystem::read_symlink(link), "../q.service");
  EXPECT_EQ(backend.DeleteAutoRunEntry("q"), platform::SettingsBackend::Status::Ok);
  EXPECT_FALSE(std::filesystem::is_symlink(link) || FileExists(units + "/q.service"));
  EXPECT_EQ(platform::UnitExecStart("/a%b$c\"d\\e"), "\"/a%%b$$c\\\"d\\\\e\"");
}

// Ctrl-C at the password prompt aborts without saving anything, and the echo comes back.
TEST(PasswordPrompt, CtrlCAbortsAndRestoresTheEcho) {
  TempDir dir;
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1),
        ::setenv("XDG_STATE_HOME", dir.path().c_str(), 1);
    ::execl(QUORVIX_DAEMON_BINARY, "quorvixddnsd", "add", "a.com", nullptr);
    ::_exit(127);
  }
  std::string seen;
  char c = 0;
  while (!Has(seen, "密码: ") && ::read(terminal, &c, 1) == 1) seen += c;
  termios settings{};
  // Until the prompt has turned the echo off.
  for (int n = 0; n < 100 && !::tcgetattr(terminal, &settings) && settings.c_lflag & ECHO; ++n) {
    usleep(10000);
  }
  ASSERT_EQ(::write(terminal, "sec\x03", 4), 4);
  int raw = 0;
  for (int n = 0; n < 500 && ::waitpid(child, &raw, WNOHANG) == 0; ++n) usleep(10000);
  if (::kill(child, SIGKILL) == 0) ::waitpid(child, &raw, 0);  // still waiting for Enter: a fault
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  ASSERT_EQ(::tcgetattr(terminal, &settings), 0);
  EXPECT_NE(settings.c_lflag & ECHO, 0u);
  EXPECT_FALSE(FileExists(dir / "quorvixDDNS/domains"));
  ::close(terminal);
}

// The programs: the client's start-up, watch (20 ms tick) and stop on either signal, which leaves
// the domains resolved; the service's log and stop.
TEST_F(DaemonTest, TheProgramsRunUntilAStopSignal) {
  const std::string env = " env -i XDG_CONFIG_HOME=" + dir.path() +
                          " XDG_STATE_HOME=" + dir.path() + " XDG_RUNTIME_DIR=" + dir.path() + " ";
  const std::string service = env + QUORVIX_SERVICE_BINARY " --data " + (dir / "service");
  // Through the shell, whose process id it takes over; killed after a bound only a fault reaches.
  const auto start = [](const std::string& command, int& pid) {
    FILE* pipe = ::popen(("echo $$; exec timeout -s KILL 60" + command).c_str(), "r");
    EXPECT_EQ(std::fscanf(pipe, "%d ", &pid), 1);
    return pipe;
  };
  // The next `lines` lines of the output, or all the rest; maybe without their time stamps.
  const auto read = [](FILE* pipe, int lines = -1, bool stamped = false) {
    std::string text;
    for (int c; lines != 0 && (c = std::fgetc(pipe)) != EOF; lines -= c == '\n') text += char(c);
    return stamped ? std::regex_replace(text, std::regex("(^|\n)\\S+ "), "$1") : text;
  };
  const auto status = [](FILE* pipe) {
    const int raw = ::pclose(pipe);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  };
  const std::string add = "echo Zebra-Quartz-7731 |" + service + " account add demo.example.com";
  ASSERT_EQ(std::system((add + " --password-stdin >/dev/null").c_str()), 0);
  int servicePid = 0, pid = 0;
  FILE* served = start(service + " serve --port 0", servicePid);
  const std::string listening = read(served, 1, true);
  ASSERT_TRUE(listening.starts_with("listening on 127.0.0.1:")) << listening;
  const std::string client = env + "QUORVIX_TEST_TICK_MS=20 QUORVIX_TEST_PORT=" +
                             listening.substr(23, listening.size() - 24) +
                             " " QUORVIX_DAEMON_BINARY " run 2>" + (dir / "err");
  const std::string ip = "GETIP caller=127.0.0.1 ret=200\n",
                    up = "GETVER caller=127.0.0.1 ret=200\n" + ip;
  const std::string version = "\tquorvixddnsd-testable(ver" + std::to_string(build::kVersionMajor) +
                              "." + std::to_string(build::kVersionMinor) + ")";
  FILE* lonely = start(client, pid);
  EXPECT_TRUE(Has(read(lonely), "\t错误!请先设置好要解析的域名\n"));
  EXPECT_EQ(status(lonely), 1);
  EXPECT_TRUE(Has(ReadFile(dir / "err"), "quorvixddnsd add")) << ReadFile(dir / "err");
  EXPECT_EQ(read(served, 2, true), up);
  Store("quorvixDDNS", kDemoEntry);
  for (const int signal : {SIGTERM, SIGINT}) {
    FILE* running = start(client, pid);
    // The start-up, and the watch's GETIP after 30 ticks.
    EXPECT_EQ(read(served, 4, true),
              up + "START caller=127.0.0.1 mx=True demo.example.com=200 ret=200\n" + ip);
    ::kill(pid, signal);
    const std::string out = read(running);
    EXPECT_EQ(status(running), 0);
    EXPECT_TRUE(Has(out, version + "启动!\n") && Has(out, kResolved)) << out;
    EXPECT_TRUE(out.ends_with(version + "停止!\n")) << out;
    EXPECT_EQ(ReadFile(dir / "err"), "");
  }
  // A stop signal mid-reply ends `refresh` at once, failed (verbose: `start` gets the pid at once).
  platform::PosixSettingsBackend({dir / "quorvixDDNS", dir / "autostart"})
      .SetValue("glbLogVerbose", "true");
  ScriptServer silent({ServerStep::Of(ServerStep::Kind::Hold)});
  FILE* waiting = start(env + "QUORVIX_TEST_PORT=" + std::to_string(silent.port()) +
                            " " QUORVIX_DAEMON_BINARY " refresh",
                        pid);
  for (int n = 0; n < 500 && silent.connections() == 0; ++n) std::this_thread::sleep_for(10ms);
  ::kill(pid, SIGTERM);
  read(waiting);
  EXPECT_EQ(status(waiting), 1);
  // `log --follow` prints what is appended, until a stop signal.
  FILE* following = start(env + QUORVIX_DAEMON_BINARY " log -n 1 --follow", pid);
  read(following, 1);  // the last line so far
  for (const char* line : {"2026-1-1\tone", "2026-1-2\ttwo"}) {
    std::ofstream(dir / "quorvixDDNS/quorvixDDNS.log", std::ios::app) << line << "\r\n";
    EXPECT_EQ(read(following, 1), line + std::string("\n"));
  }
  ::kill(pid, SIGTERM);
  EXPECT_EQ(read(following), "");
  EXPECT_EQ(status(following), 0);
  ::kill(servicePid, SIGTERM);
  EXPECT_EQ(read(served, -1, true), "stopping\n");
  EXPECT_EQ(status(served), 0);
}

}  // namespace
}  // namespace quorvix
