// The client as the tray program wires it (ClientCore), driven through a recording desktop and
// a fake clock, with its settings and log in a temporary folder and the service played by a
// ScriptServer on 127.0.0.1. Both service hosts resolve to loopback and every other name (the
// machine's own) to kMachineAddress, so no test asks DNS anything.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_backend_posix.h"
#include "settings/store.h"
#include "shell/client_core.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

inline constexpr std::string_view kShellUpdateHost = "ddns.quorvix.com";
inline constexpr std::string_view kShellInfoHost = "ip.quorvix.com";
inline constexpr std::string_view kMachineAddress = "10.1.2.3";
inline constexpr std::string_view kOneDomain = "a.com|pw,";

// The service's replies.
inline ServerStep VersionReply(int major, int minor) {
  return ServerStep::Replying(HttpReply(
      {"RET-CODE: 200", "Major: " + std::to_string(major), "Minor: " + std::to_string(minor)}));
}
inline ServerStep AddressReply(std::string_view address) {
  return ServerStep::Replying(HttpReply({"RET-CODE: 200", "Y-IP: " + std::string(address)}));
}
// START or STOP accepted for a.com.
inline ServerStep UpdatedReply() {
  return ServerStep::Replying(HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"}));
}
// START or STOP refused by the service.
inline ServerStep RefusedReply() {
  return ServerStep::Replying(HttpReply({"RET-CODE: 500", "RET-INFO: busy"}));
}
// The connection closes without a reply: every command fails.
inline ServerStep Dropped() { return ServerStep::Of(ServerStep::Kind::CloseAtOnce); }

// "Add 7 grey 正在连接": one tray request in a form that compares well.
inline std::string Describe(const SentTrayRequest& sent) {
  const char* request = sent.request == TrayRequest::Add      ? "Add"
                        : sent.request == TrayRequest::Modify ? "Modify"
                                                              : "Delete";
  const char* image = sent.record.image == TrayImage::Colour ? "colour" : "grey";
  return std::string(request) + " " + std::to_string(sent.record.flags) + " " + image + " " +
         sent.record.tip;
}

// Names parameterised cases after their `name` field.
struct CaseName {
  template <typename Info>
  std::string operator()(const Info& param) const {
    return param.param.name;
  }
};

class ShellFixture {
 public:
  // With a script, the service plays it (one step per connection, the last one repeating);
  // without one, nothing listens on the service's port.
  explicit ShellFixture(std::optional<std::vector<ServerStep>> script = std::nullopt)
      : server(script ? std::make_unique<ScriptServer>(std::move(*script)) : nullptr),
        core(desktop, clock, Setup(server ? server->port() : UnusedPort(), dir)) {
    core.log.SetLineObserver([this](std::string_view line) {
      const auto tab = line.find('\t');
      lines.emplace_back(line.substr(tab == std::string_view::npos ? 0 : tab + 1));
    });
  }

  void Store(std::string_view name, std::string_view value) {
    if (!core.store.WriteSetting(name, value)) ADD_FAILURE() << "cannot store " << name;
  }
  void StoreDomains(std::string_view list = kOneDomain) { Store(kSettingDomains, list); }
  void StoreVerbose() { Store(kSettingLogVerbose, kTrueWord); }

  // The commands the service received, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    if (!server) return commands;
    for (const std::string& request : server->requests()) {
      const auto from = request.find("Command=");
      if (from == std::string::npos) {
        commands.push_back("?");
        continue;
      }
      const auto to = request.find('&', from);
      commands.push_back(request.substr(from + 8, to == std::string::npos ? to : to - from - 8));
    }
    return commands;
  }

  std::size_t Count(std::string_view line) const {
    std::size_t n = 0;
    for (const std::string& each : lines) n += each == line ? 1 : 0;
    return n;
  }
  bool Logged(std::string_view line) const { return Count(line) > 0; }
  bool LoggedStartingWith(std::string_view prefix) const {
    for (const std::string& each : lines) {
      if (std::string_view(each).substr(0, prefix.size()) == prefix) return true;
    }
    return false;
  }

  std::vector<std::string> Tray(std::size_t from = 0) const {
    std::vector<std::string> described;
    for (std::size_t i = from; i < desktop.trayRequests.size(); ++i) {
      described.push_back(Describe(desktop.trayRequests[i]));
    }
    return described;
  }
  std::vector<std::string> CallsFrom(std::size_t from) const {
    return {desktop.calls.begin() + static_cast<std::ptrdiff_t>(from), desktop.calls.end()};
  }

  FakeDesktop desktop;
  FakeClock clock;
  TempDir dir;
  std::unique_ptr<ScriptServer> server;
  ClientCore core;
  std::vector<std::string> lines;  // every message logged, without its time stamp

 private:
  static ClientSetup Setup(std::uint16_t port, const TempDir& dir) {
    ClientSetup setup;
    setup.backend = std::make_unique<platform::PosixSettingsBackend>(
        platform::PosixSettingsLocations{dir / "quorvixDDNS", dir / "autostart"});
    setup.program = platform::ProgramLocation{"/opt/q", "quorvixDDNS"};
    setup.logFilePath = dir / "quorvixDDNS.log";
    // The script answers at once; the limits only bound a test that goes wrong.
    setup.limits = SocketLimits{std::chrono::seconds(5), std::chrono::seconds(5), 64 * 1024};
    setup.lookup = [](const std::string& name) -> std::vector<std::string> {
      if (name == kShellUpdateHost || name == kShellInfoHost) return {"127.0.0.1"};
      return {std::string(kMachineAddress)};
    };
    setup.endpoints =
        ServiceEndpoints{std::string(kShellUpdateHost), std::string(kShellInfoHost), port};
    return setup;
  }
};

}  // namespace quorvix::testing
