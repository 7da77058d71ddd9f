// The headless client and the reference service as real processes on loopback: the start-up,
// the watch on a shortened tick, and the stop signals. Every child gets a private environment
// and folders, and is killed and reaped when its test ends, however it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
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

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::TempDir;
using Strings = std::vector<std::string>;

constexpr const char* kService = QUORVIX_SERVICE_BINARY;
constexpr const char* kDaemon = QUORVIX_DAEMON_BINARY;
constexpr std::string_view kDemo = "demo.example.com";
constexpr std::string_view kPassword = "Sesame-42";
// Bounds a test that goes wrong; no test waits this long when it passes.
constexpr auto kPatience = 15s;

const std::string kVersioned = "quorvixddnsd-testable(ver" + std::to_string(build::kVersionMajor) +
                               "." + std::to_string(build::kVersionMinor) + ")";
const std::string kGetIpLine = "\t获取本机公网IP成功,IP地址是:127.0.0.1\n";

// Names parameterised cases after their `name` field.
struct ByName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return info.param.name;
  }
};

std::size_t Count(const std::string& text, std::string_view part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Polls until `done` holds or the patience runs out.
bool Eventually(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// A child process with exactly the given environment, standard input from a file and its
// outputs into files. Killed (SIGKILL) and reaped on destruction if still running.
class Child {
 public:
  Child(const Strings& argv, const Strings& env, const std::string& inputPath,
        const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    // The stop signals behave as in a shell's child, whatever this process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &stops);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> vars;
    for (const std::string& var : env) vars.push_back(const_cast<char*>(var.c_str()));
    vars.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &files, &attributes, args.data(), vars.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    EXPECT_GT(pid_, 0) << "cannot start " << argv[0];
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int ignored = 0;
    ::waitpid(pid_, &ignored, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // The exit status (128 + the signal's number when one ended it); none when the child is
  // still running after the patience, or could not start.
  std::optional<int> Wait() {
    std::optional<int> status;
    Eventually([&] {
      if (pid_ <= 0) return true;
      int raw = 0;
      if (::waitpid(pid_, &raw, WNOHANG) != pid_) return false;
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

  // Starts a program; its outputs go to the files OutPath(n) and ErrPath(n) it returns in `n`.
  std::unique_ptr<Child> Start(const char* binary, Strings args, const std::string& input, int& n) {
    n = ++children_;
    const std::string inputPath = dir / ("in-" + std::to_string(n));
    testing::WriteFile(inputPath, input);
    args.insert(args.begin(), binary);
    return std::make_unique<Child>(args, Environment(), inputPath, OutPath(n), ErrPath(n));
  }
  Finished RunToEnd(const char* binary, Strings args, const std::string& input = "") {
    int n = 0;
    const auto child = Start(binary, std::move(args), input, n);
    Finished finished;
    finished.status = child->Wait();
    finished.out = ReadFile(OutPath(n));
    finished.err = ReadFile(ErrPath(n));
    return finished;
  }
  std::string OutPath(int n) const { return dir / ("out-" + std::to_string(n)); }
  std::string ErrPath(int n) const { return dir / ("err-" + std::to_string(n)); }

  Strings Environment() const {
    return {"HOME=" + dir.path(),
            "XDG_CONFIG_HOME=" + (dir / "config"),
            "XDG_STATE_HOME=" + (dir / "state"),
            "XDG_DATA_HOME=" + (dir / "data"),
            "XDG_RUNTIME_DIR=" + (dir / "run"),
            "QUORVIX_TEST_PORT=" + std::to_string(port),
            "QUORVIX_TEST_TICK_MS=20"};
  }

  // The service with the demo account, on an ephemeral port it reports on its first line.
  void StartService(std::string_view accountPassword) {
    const Finished account = RunToEnd(
        kService,
        {"account", "add", std::string(kDemo), "--password-stdin", "--data", dir / "service"},
        std::string(accountPassword) + "\n");
    ASSERT_EQ(account.status, 0) << account.err;
    service_ =
        Start(kService, {"serve", "--port", "0", "--data", dir / "service"}, "", serviceOut_);
    constexpr std::string_view kListening = "listening on 127.0.0.1:";
    std::string first;
    ASSERT_TRUE(Eventually([&] {
      first = ReadFile(OutPath(serviceOut_));
      return first.find('\n', first.find(kListening)) != std::string::npos;
    })) << first;
    port = static_cast<std::uint16_t>(
        std::stoi(first.substr(first.find(kListening) + kListening.size())));
  }
  std::string ServiceLog() const { return ReadFile(OutPath(serviceOut_)); }

  Finished AddDemo() {
    return RunToEnd(kDaemon, {"add", std::string(kDemo), "--password-stdin"},
                    std::string(kPassword) + "\n");
  }
  std::string LogFile() const { return ReadFile(dir / "state/quorvixDDNS/quorvixDDNS.log"); }

  TempDir dir;
  std::uint16_t port = testing::UnusedPort();

 private:
  int children_ = 0;
  int serviceOut_ = 0;
  std::unique_ptr<Child> service_;  // last: killed before the folder goes
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
  EXPECT_NE(added.out.find(c.result), std::string::npos) << added.out;

  int n = 0;
  const auto daemon = Start(kDaemon, {"run"}, "", n);
  std::string out;
  // The start-up's GETIP, then the watch's after 30 ticks.
  ASSERT_TRUE(Eventually([&] {
    out = ReadFile(OutPath(n));
    return Count(out, kGetIpLine) >= 2;
  })) << out;
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
  out = ReadFile(OutPath(n));
  EXPECT_TRUE(EndsWith(out, "\t" + kVersioned + "停止!\n")) << out;
  EXPECT_TRUE(EndsWith(LogFile(), "\t" + kVersioned + "停止!\r\n"));
  EXPECT_EQ(ReadFile(ErrPath(n)), "");

  // Stopping the program leaves the domains resolved: no STOP is sent.
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
    ByName());

TEST_F(EndToEnd, RunWithoutDomainsExitsWithAHint) {
  const Finished run = RunToEnd(kDaemon, {"run"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("quorvixddnsd add"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("\t错误!请先设置好要解析的域名\n"), std::string::npos) << run.out;
  EXPECT_TRUE(EndsWith(run.out, "\t" + kVersioned + "停止!\n")) << run.out;
}

// A stop signal during the pause between two update attempts ends the program at once, with
// its stop line, instead of after the remaining attempts.
TEST_F(EndToEnd, SignalDuringTheStartupsPauseEndsIt) {
  ASSERT_EQ(AddDemo().status, 0);  // the service is down: stored all the same
  int n = 0;
  const auto daemon = Start(kDaemon, {"run"}, "", n);
  const std::string failed = "\t尝试第1次更新域名解析\n";
  const std::string down = "\t抱歉，网络连接失败，请检查您本地网络是否正常\n";
  std::string out;
  ASSERT_TRUE(Eventually([&] {
    out = ReadFile(OutPath(n));
    const auto attempt = out.find(failed);
    return attempt != std::string::npos && out.find(down, attempt) != std::string::npos;
  })) << out;
  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(), 0);
  out = ReadFile(OutPath(n));
  EXPECT_EQ(out.find("尝试第2次"), std::string::npos) << out;
  EXPECT_TRUE(EndsWith(out, "\t" + kVersioned + "停止!\n")) << out;
}

}  // namespace
}  // namespace quorvix
