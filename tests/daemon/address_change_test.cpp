// The whole path of an early check on Linux, in a private network namespace: an address added
// to the loopback interface reaches `run` through netlink, and after the settling delay its GETIP
// reaches the service.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <sstream>
#include <thread>
#include <tuple>

#include "headless/daemon_commands.h"
#include "platform/stop_signal.h"
#include "settings/store.h"
#include "support/shell_fixture.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;
using namespace std::chrono_literals;

constexpr int kNotPermitted = 77;

// Raises the loopback interface, or with `address` adds that address to it.
bool ConfigureLoopback(const char* address = nullptr) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, address ? "lo:1" : "lo");
  bool done = false;
  if (address != nullptr) {
    auto* in = reinterpret_cast<sockaddr_in*>(&request.ifr_addr);
    in->sin_family = AF_INET;
    done = ::inet_pton(AF_INET, address, &in->sin_addr) == 1 &&
           ::ioctl(fd, SIOCSIFADDR, &request) == 0;
  } else if (::ioctl(fd, SIOCGIFFLAGS, &request) == 0) {
    request.ifr_flags |= IFF_UP;
    done = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  ::close(fd);
  return done;
}

// Adds a route through the loopback interface.
bool AddRoute(const char* destination, int prefix) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  rtentry route{};
  auto* to = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
  auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
  to->sin_family = mask->sin_family = AF_INET;
  ::inet_pton(AF_INET, destination, &to->sin_addr);
  mask->sin_addr.s_addr = prefix == 0 ? 0 : htonl(~0u << (32 - prefix));
  route.rt_flags = RTF_UP;
  char device[] = "lo";
  route.rt_dev = device;
  const bool done = ::ioctl(fd, SIOCADDRT, &route) == 0;
  ::close(fd);
  return done;
}

// Waits up to 10 s for `condition`.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
  return condition();
}

// The child's whole run; returns its exit status (0 when the early check reached the service).
int EarlyCheckInNamespace() {
  if (::unshare(CLONE_NEWNET | (::geteuid() == 0 ? 0 : CLONE_NEWUSER)) != 0 ||
      !ConfigureLoopback()) {
    return kNotPermitted;
  }
  // Addresses and the default route matter; other routes change often on busy machines.
  const auto routes = platform::OpenAddressWatch();
  routes->TakeChanges();  // what raising the interface brought
  for (const auto& [destination, prefix, matters] :
       {std::tuple("10.9.0.0", 16, false), std::tuple("0.0.0.0", 0, true)}) {
    if (!AddRoute(destination, prefix) || routes->TakeChanges() != matters) {
      std::cerr << "a route to " << destination << "/" << prefix << " was taken wrongly\n";
      return 1;
    }
  }
  platform::InstallStopSignals();  // before any thread starts
  const auto reply = [](std::string line) { return Reply({"RET-CODE: 200", std::move(line)}); };
  ScriptServer server({reply("Major: 1"), reply("Y-IP: 203.0.113.7"), UpdatedReply(),
                       reply("Y-IP: 198.51.100.4"), UpdatedReply()});
  TempDir dir;
  FakeClock clock;
  std::istringstream in;
  std::ostringstream out, err;
  DaemonContext context{in, out, err, clock, LoopbackSetup(dir, server.port(), 5s)};
  context.tick = 1h;  // no tick comes: a second GETIP can only be the early check
  std::atomic<bool> watching = false;
  context.openAddressWatch = [&watching] {
    auto watch = platform::OpenAddressWatch();
    watching = true;
    return watch;
  };
  platform::PosixSettingsBackend store({dir / "config", dir / "autostart"});
  store.SetValue(std::string(kSettingDomains), "a.com|pw,");
  store.SetValue(std::string(kSettingLogVerbose), std::string(BoolWord(true)));

  const pthread_t runner = ::pthread_self();
  bool added = false, checked = false;
  std::thread change([&] {
    added = Eventually([&] { return watching.load(); }) && ConfigureLoopback("127.0.0.2");
    checked = added && Eventually([&] { return server.connections() == 5; });
    ::pthread_kill(runner, SIGTERM);
  });
  const int status = RunDaemonCommand({"run"}, context);
  change.join();
  const bool logged =
      out.str().find("系统检测到本机网络地址变动,提前检查公网IP") != std::string::npos;
  if (status == 0 && added && checked && logged) return 0;
  std::cerr << "status " << status << ", address added " << added << ", checked " << checked
            << ", logged " << logged << "\n"
            << out.str() << err.str();
  return 1;
}

TEST(AddressChange, AnAddressAddedInANamespaceBringsTheCheckForward) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(EarlyCheckInNamespace());
  int status = 0;
  for (int i = 0; i < 300 && ::waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(100ms);
  }
  if (::waitpid(child, &status, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the client in the namespace did not end within 30 s";
  }
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNotPermitted) {
    GTEST_SKIP() << "network namespaces are not permitted here: the early check's whole path is "
                    "not tested";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace quorvix
