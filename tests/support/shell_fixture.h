// The client as the tray program wires it (ClientCore), with a recording (or real) desktop and a
// fake clock, its settings and log in a temporary folder and the service played by a
// ScriptServer; every name, the machine's own included, resolves to 127.0.0.1.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
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

using Steps = std::vector<ServerStep>;
using Strings = std::vector<std::string>;

// The store and log in `dir`, both servers on one loopback port.
inline ClientSetup LoopbackSetup(const TempDir& dir, std::uint16_t port,
                                 std::chrono::milliseconds wait = std::chrono::milliseconds(200)) {
  ClientSetup setup;
  setup.backend = std::make_unique<platform::PosixSettingsBackend>(
      platform::PosixSettingsLocations{dir / "config", dir / "autostart"});
  setup.program = {"/opt/q", "quorvixDDNS"};
  setup.logFilePath = dir / "quorvixDDNS.log";
  setup.statusFilePath = dir / "quorvixDDNS.status";
  setup.limits.replyWait = setup.limits.readLimit = wait;
  setup.lookup = [](const std::string&) { return Strings{"127.0.0.1"}; };
  setup.endpoints = ServiceEndpoints{"ddns.quorvix.com", "ip.quorvix.com", port};
  return setup;
}

inline ServerStep Reply(const Strings& lines) { return ServerStep::Replying(HttpReply(lines)); }
// START or STOP accepted for a.com, or refused; a connection closed without a reply.
inline ServerStep UpdatedReply() { return Reply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"}); }
inline ServerStep RefusedReply() { return Reply({"RET-CODE: 500", "RET-INFO: busy"}); }
inline ServerStep Dropped() { return ServerStep::Of(ServerStep::Kind::CloseAtOnce); }

// Names parameterised cases after their `name` field.
struct CaseName {
  template <typename Info>
  std::string operator()(const Info& param) const {
    return param.param.name;
  }
};

class ShellFixture {
 public:
  // The service plays `script`, one step per connection, the last one repeating.
  explicit ShellFixture(Steps script = {Dropped()}, Desktop* real = nullptr)
      : server(std::move(script)),
        core(real ? *real : desktop, clock,
             LoopbackSetup(dir, server.port(), std::chrono::seconds(5))) {
    core.log.SetLineObserver([this](std::string_view line) {
      lines.emplace_back(line.substr(line.find('\t') + 1));  // without the time stamp
    });
  }

  void Store(std::string_view name, std::string_view value) {
    EXPECT_TRUE(core.store.WriteSetting(name, value)) << name;
  }
  // Started with a domain and the icon showing `lastOk`; what came before is forgotten.
  void Started(bool lastOk) {
    Store(kSettingDomains, "a.com|pw,");
    core.shell.InitApp();
    core.state.lastUpdateOk = lastOk;
    core.shell.tray().Stop_Connect_status(lastOk);
    desktop.calls.clear();
    lines.clear();
  }
  // The commands the service received, in order.
  Strings Commands() const {
    Strings commands;
    for (const std::string& request : server.requests()) {
      const auto from = request.find("Command=") + 8;
      commands.push_back(request.substr(from, request.find('&', from) - from));
    }
    return commands;
  }
  bool Logged(std::string_view line) const { return std::ranges::count(lines, line) > 0; }

  FakeDesktop desktop;
  FakeClock clock;
  TempDir dir;
  ScriptServer server;
  ClientCore core;
  Strings lines;  // every message logged
};

}  // namespace quorvix::testing
