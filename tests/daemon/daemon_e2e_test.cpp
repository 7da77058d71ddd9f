// The headless client and the reference service as real processes on loopback: the start-up,
// the watch on a shortened tick, and the stop signals. Every child gets a private environment
// and folders, and is killed and reaped when its test ends, however it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "build_config.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using testing::ReadFile;
using Strings = std::vector<std::string>;

constexpr const char* kService = QUORVIX_SERVICE_BINARY;
constexpr const char* kDaemon = QUORVIX_DAEMON_BINARY;
constexpr std::string_view kPassword = "Sesame-42";

const std::string kVersioned = "quorvixddnsd-testable(ver" + std::to_string(build::kVersionMajor) +
                               "." + std::to_string(build::kVersionMinor) + ")";
const std::string kStopLine = "\t" + kVersioned + "停止!\n";
const std::string kGetIpLine = "\t获取本机公网IP成功,IP地址是:127.0.0.1\n";

// A failing case is shown by its name.
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::size_t Count(const std::string& text, std::string_view part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Polls until `done` holds; false when it still does not after a bound that only a test going
// wrong reaches.
bool Eventually(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A program run with exactly the given environment, standard input from a file and its
// outputs into files; killed and reaped on destruction if still running.
class Child {
 public:
  Child(const Strings& argv, const Strings& env, const std::string& files) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (files + ".in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (files + ".out").c_str(), O_WRONLY | O_CREAT,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, (files + ".err").c_str(), O_WRONLY | O_CREAT,
                                     0600);
    // The stop signals as a shell's child gets them, whatever this process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    std::vector<char*> vars;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& var : env) vars.push_back(const_cast<char*>(var.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), vars.data()) != 0) {
      pid_ = -1;
      ADD_FAILURE() << "cannot start " << argv[0];
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);  // never -1: that would reach every process
  }

  // The exit status, 128 + the number of a signal that ended it; none if it does not end.
  std::optional<int> Wait() {
    std::optional<int> status;
    Eventually([&] {
      int raw = 0;
      if (pid_ <= 0 || ::waitpid(pid_, &raw, WNOHANG) != pid_) return pid_ <= 0;
      pid_ = -1;
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      return true;
    });
    return status;
  }

 private:
  pid_t pid_ = -1;
};

struct Finished {
  std::optional<int> status;
  std::string out;
  std::string err;
};

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() { ::mkdir((dir / "run").c_str(), 0700); }

  // Starts a program; its outputs are Out(n) and Err(n).
  std::unique_ptr<Child> Start(const char* binary, Strings args, const std::string& input, int& n) {
    n = ++children_;
    testing::WriteFile(Files(n) + ".in", input);
    args.insert(args.begin(), binary);
    return std::make_unique<Child>(
        args,
        Strings{"HOME=" + dir.path(), "XDG_CONFIG_HOME=" + (dir / "config"),
                "XDG_STATE_HOME=" + (dir / "state"), "XDG_RUNTIME_DIR=" + (dir / "run"),
                "QUORVIX_TEST_PORT=" + std::to_string(port), "QUORVIX_TEST_TICK_MS=20"},
        Files(n));
  }
  Finished RunToEnd(const char* binary, Strings args, const std::string& input = "") {
    int n = 0;
    const auto child = Start(binary, std::move(args), input, n);
    const std::optional<int> status = child->Wait();
    return {status, Out(n), Err(n)};
  }
  std::string Files(int n) const { return dir / std::to_string(n); }
  std::string Out(int n) const { return ReadFile(Files(n) + ".out"); }
  std::string Err(int n) const { return ReadFile(Files(n) + ".err"); }

  // The service with the demo account, on the ephemeral port its first line reports.
  void StartService(std::string_view accountPassword) {
    const Finished account = RunToEnd(
        kService,
        {"account", "add", "demo.example.com", "--password-stdin", "--data", dir / "service"},
        std::string(accountPassword) + "\n");
    ASSERT_EQ(account.status, 0) << account.err;
    service_ = Start(kService, {"serve", "--port", "0", "--data", dir / "service"}, "", serviceN_);
    constexpr std::string_view kListening = "listening on 127.0.0.1:";
    std::string first;
    ASSERT_TRUE(Eventually([&] {
      first = Out(serviceN_);
      return first.find('\n', first.find(kListening)) != std::string::npos;
    })) << first;
    port = static_cast<std::uint16_t>(
        std::stoi(first.substr(first.find(kListening) + kListening.size())));
  }
  std::string ServiceLog() const { return Out(serviceN_); }

  Finished AddDemo() {
    return RunToEnd(kDaemon, {"add", "demo.example.com", "--password-stdin"},
                    std::string(kPassword) + "\n");
  }

  testing::TempDir dir;
  std::uint16_t port = testing::UnusedPort();

 private:
  int children_ = 0;
  int serviceN_ = 0;
  std::unique_ptr<Child> service_;
};

struct WatchCase {
  const char* name;
  std::string_view accountPassword;
  int signal;
  std::string result;  // the START outcome's line
  bool recorded;
};

class Watch : public EndToEnd, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(Watch, StartsWatchesAndStopsOnASignal) {
  const WatchCase& c = GetParam();
  StartService(c.accountPassword);
  const Finished added = AddDemo();
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(added.out.find("\t" + c.result + "\n"), std::string::npos) << added.out;

  int n = 0;
  const auto daemon = Start(kDaemon, {"run"}, "", n);
  std::string out;
  // The start-up's GETIP, then the watch's after 30 ticks.
  ASSERT_TRUE(Eventually([&] { return Count(out = Out(n), kGetIpLine) >= 2; })) << out;
  std::size_t at = 0;
  for (const std::string& line :
       {"\t" + kVersioned + "启动!\n", kGetIpLine, std::string("\t尝试第1次更新域名解析\n"),
        "\t" + c.result + "\n", kGetIpLine}) {
    at = out.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in order in\n" << out;
    at += line.size();
  }

  daemon->Signal(c.signal);
  EXPECT_EQ(daemon->Wait(), 0);
  EXPECT_TRUE(Out(n).ends_with(kStopLine)) << Out(n);
  EXPECT_TRUE(ReadFile(dir / "state/quorvixDDNS/quorvixDDNS.log").ends_with("停止!\r\n"));
  EXPECT_EQ(Err(n), "");
  // Ending the program leaves the domains resolved: no STOP is sent.
  EXPECT_EQ(ServiceLog().find(" STOP "), std::string::npos) << ServiceLog();
  const Finished records = RunToEnd(kService, {"records", "--data", dir / "service"});
  EXPECT_EQ(records.out.starts_with("demo.example.com\t127.0.0.1\t"), c.recorded) << records.out;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Watch,
    ::testing::Values(
        WatchCase{"Sigterm", kPassword, SIGTERM, "域名demo.example.com动态解析成功", true},
        WatchCase{"Sigint", kPassword, SIGINT, "域名demo.example.com动态解析成功", true},
        WatchCase{"WrongPassword", "Not-The-Same-1", SIGTERM,
                  "域名demo.example.com动态解析失败,签名错误，请检查域名管理密码", false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EndToEnd, RunWithoutDomainsExitsWithAHint) {
  const Finished run = RunToEnd(kDaemon, {"run"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("quorvixddnsd add"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("\t错误!请先设置好要解析的域名\n"), std::string::npos) << run.out;
  EXPECT_TRUE(run.out.ends_with(kStopLine)) << run.out;
}

// The settings folder cannot be made: the program says so and ends with a failure.
TEST_F(EndToEnd, UnusableSettingsFolderEndsTheProgram) {
  testing::WriteFile(dir / "config", "a file where the folder should be");
  for (const char* command : {"list", "run"}) {
    const Finished run = RunToEnd(kDaemon, {command});
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.err, "系统错误: 打开注册表失败\n") << command;
  }
}

// A stop signal during the pause between two update attempts ends the program at once, with
// its stop line, instead of after the remaining attempts.
TEST_F(EndToEnd, SignalDuringTheStartupsPauseEndsIt) {
  ASSERT_EQ(AddDemo().status, 0);  // the service is down: stored all the same
  int n = 0;
  const auto daemon = Start(kDaemon, {"run"}, "", n);
  std::string out;
  ASSERT_TRUE(Eventually([&] {
    const auto attempt = (out = Out(n)).find("\t尝试第1次更新域名解析\n");
    return attempt != std::string::npos && out.find("网络连接失败", attempt) != std::string::npos;
  })) << out;
  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(), 0);
  EXPECT_EQ(Out(n).find("尝试第2次"), std::string::npos) << Out(n);
  EXPECT_TRUE(Out(n).ends_with(kStopLine)) << Out(n);
}

}  // namespace
}  // namespace quorvix
