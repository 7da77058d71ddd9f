// The headless client and the reference service as real processes on loopback: the start-up,
// the watch on a shortened tick, and the stop signals. Every child gets a private environment
// and folders, and is killed and reaped when its test ends, however it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// A program run with exactly the given environment, standard input from `files`.in and its
// outputs into `files`.out and .err; killed and reaped on destruction if still running.
class Child {
 public:
  Child(const Strings& argv, const Strings& env, const std::string& files) : files_(files) {
    std::vector<char*> args, vars;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& var : env) vars.push_back(const_cast<char*>(var.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    const std::string in = files + ".in", out = files + ".out", err = files + ".err";
    pid_ = ::fork();
    if (pid_ != 0) return;
    // Only calls that are safe after fork. The stop signals as a shell's child gets them,
    // whatever this process does with them.
    ::dup2(::open(in.c_str(), O_RDONLY), 0);
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT, 0600), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT, 0600), 2);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::execve(args[0], args.data(), vars.data());
    ::_exit(127);
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
  std::string Out() const { return ReadFile(files_ + ".out"); }
  std::string Err() const { return ReadFile(files_ + ".err"); }

 private:
  std::string files_;
  pid_t pid_ = -1;
};

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() { ::mkdir((dir / "run").c_str(), 0700); }

  std::unique_ptr<Child> Start(const char* binary, Strings args, const std::string& input = "") {
    const std::string files = dir / std::to_string(++children_);
    testing::WriteFile(files + ".in", input);
    args.insert(args.begin(), binary);
    return std::make_unique<Child>(
        args,
        Strings{"HOME=" + dir.path(), "XDG_CONFIG_HOME=" + (dir / "config"),
                "XDG_STATE_HOME=" + (dir / "state"), "XDG_RUNTIME_DIR=" + (dir / "run"),
                "QUORVIX_TEST_PORT=" + std::to_string(port), "QUORVIX_TEST_TICK_MS=20"},
        files);
  }
  // Runs a program to its end, which must come with status `expected`; the child keeps its outputs.
  std::unique_ptr<Child> Run(const char* binary, Strings args, const std::string& input = "",
                             int expected = 0) {
    auto child = Start(binary, std::move(args), input);
    EXPECT_EQ(child->Wait(), expected) << child->Err();
    return child;
  }

  // The service with the demo account, on the ephemeral port its first line reports.
  void StartService(std::string_view accountPassword) {
    Run(kService,
        {"account", "add", "demo.example.com", "--password-stdin", "--data", dir / "service"},
        std::string(accountPassword) + "\n");
    service = Start(kService, {"serve", "--port", "0", "--data", dir / "service"});
    constexpr std::string_view kListening = "listening on 127.0.0.1:";
    std::string first;
    ASSERT_TRUE(Eventually([&] {
      first = service->Out();
      return first.find('\n', first.find(kListening)) != std::string::npos;
    })) << first;
    port = static_cast<std::uint16_t>(
        std::stoi(first.substr(first.find(kListening) + kListening.size())));
  }

  testing::TempDir dir;
  std::uint16_t port = testing::UnusedPort();
  std::unique_ptr<Child> service;

 private:
  int children_ = 0;
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
  const auto added =
      Run(kDaemon, {"add", "demo.example.com", "--password-stdin"}, std::string(kPassword) + "\n");
  EXPECT_NE(added->Out().find("\t" + c.result + "\n"), std::string::npos) << added->Out();

  const auto daemon = Start(kDaemon, {"run"});
  std::string out;
  // The start-up's lines in order, then the watch's GETIP after 30 ticks.
  const Strings lines{"\t" + kVersioned + "启动!\n", kGetIpLine, "\t尝试第1次更新域名解析\n",
                      "\t" + c.result + "\n", kGetIpLine};
  const auto inOrder = [&] {
    out = daemon->Out();
    std::size_t at = 0;
    for (const std::string& line : lines) {
      if ((at = out.find(line, at)) == std::string::npos) return false;
      at += line.size();
    }
    return true;
  };
  ASSERT_TRUE(Eventually(inOrder)) << out;

  daemon->Signal(c.signal);
  EXPECT_EQ(daemon->Wait(), 0);
  EXPECT_TRUE(daemon->Out().ends_with(kStopLine)) << daemon->Out();
  EXPECT_TRUE(ReadFile(dir / "state/quorvixDDNS/quorvixDDNS.log").ends_with("停止!\r\n"));
  EXPECT_EQ(daemon->Err(), "");
  // Ending the program leaves the domains resolved: no STOP is sent.
  EXPECT_EQ(service->Out().find(" STOP "), std::string::npos) << service->Out();
  const auto records = Run(kService, {"records", "--data", dir / "service"});
  EXPECT_EQ(records->Out().starts_with("demo.example.com\t127.0.0.1\t"), c.recorded)
      << records->Out();
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
  const auto run = Run(kDaemon, {"run"}, "", 1);
  EXPECT_NE(run->Err().find("quorvixddnsd add"), std::string::npos) << run->Err();
  EXPECT_NE(run->Out().find("\t错误!请先设置好要解析的域名\n"), std::string::npos) << run->Out();
  EXPECT_TRUE(run->Out().ends_with(kStopLine)) << run->Out();
}

}  // namespace
}  // namespace quorvix
