// The headless client's commands in-process against the service on loopback; both programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <iterator>
#include <mutex>
#include <regex>
#include <sstream>
#include <tuple>

#include "build_config.h"
#include "headless/daemon_commands.h"
#include "http/server.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;
using namespace std::chrono_literals;

constexpr const char* kDemoEntry = "demo.example.com|Zebra-Quartz-7731,";  // a password to find
const std::string kResolved = "\t域名demo.example.com动态解析成功\n";

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
      {{"list"}, three, 0, "a.com\nA.com\nb.com\n", "", three, {}},
      {{"refresh"}, kDemoEntry, 0, kResolved, "", kDemoEntry, {"START"}},
      {{"refresh"}, "", 1, "\t执行命令失败,请先设置好要解析的域名\n", "", "", {}},
      {{"stop"}, kDemoEntry, 0, "\t域名demo.example.com停止解析成功\n", "", kDemoEntry, {"STOP"}},
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
    const auto [status, out, err] = Command(c.args, "Zebra-Quartz-7731\n");
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(c.out.empty() ? out.empty() : Has(out, c.out)) << out;
    EXPECT_TRUE(c.status == 2 ? Has(err, c.err) && Has(err, "用法: quorvixddnsd ") : err == c.err)
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
  EXPECT_TRUE(Has(seen, "\t服务器返回结果:\nHTTP/1.1 200 OK\n")) << seen;
  std::string file = ReadFile(dir / "quorvixDDNS.log");
  EXPECT_TRUE(Has(file, "\t服务器返回结果:\r\nHTTP/1.1 200 OK\r\n")) << file;
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
  ::kill(servicePid, SIGTERM);
  EXPECT_EQ(read(served, -1, true), "stopping\n");
  EXPECT_EQ(status(served), 0);
}

}  // namespace
}  // namespace quorvix
