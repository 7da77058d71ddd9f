// The client as the tray program wires it (ClientCore), driven through a recording desktop and
// a fake clock, with its settings and log in a temporary folder and the service played by a
// ScriptServer; every name, the machine's own included, resolves to 127.0.0.1.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "settings/store.h"
#include "shell/client_core.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/loopback_setup.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

using Steps = std::vector<ServerStep>;
using Strings = std::vector<std::string>;

// The service's replies.
inline ServerStep VersionReply(int major, int minor) {
  return ServerStep::Replying(HttpReply(
      {"RET-CODE: 200", "Major: " + std::to_string(major), "Minor: " + std::to_string(minor)}));
}
inline ServerStep AddressReply(std::string_view address) {
  return ServerStep::Replying(HttpReply({"RET-CODE: 200", "Y-IP: " + std::string(address)}));
}
// START or STOP accepted for a.com, or refused.
inline ServerStep UpdatedReply() {
  return ServerStep::Replying(HttpReply({"RET-CODE: 200", "RET-DMLIST: a.com|200,"}));
}
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
  // The service plays `script`, one step per connection, the last one repeating.
  explicit ShellFixture(Steps script = {Dropped()})
      : server(std::move(script)),
        core(desktop, clock, LoopbackSetup(dir, server.port(), std::chrono::seconds(5))) {
    core.log.SetLineObserver([this](std::string_view line) {
      lines.emplace_back(line.substr(line.find('\t') + 1));  // without the time stamp
    });
  }

  void Store(std::string_view name, std::string_view value) {
    if (!core.store.WriteSetting(name, value)) ADD_FAILURE() << "cannot store " << name;
  }
  void StoreDomains() { Store(kSettingDomains, "a.com|pw,"); }
  // Started with a domain and the icon showing `lastOk`; what came before is forgotten.
  void Started(bool lastOk) {
    StoreDomains();
    core.shell.InitApp();
    core.state.lastUpdateOk = desktop.watchTimer = lastOk;
    core.shell.tray().Stop_Connect_status(lastOk);
    desktop.calls.clear();
    desktop.trayRequests.clear();
    lines.clear();
  }

  // The commands the service received, in order.
  Strings Commands() const {
    Strings commands;
    for (const std::string& request : server.requests()) {
      const auto from = request.find("Command=");
      commands.push_back(from == std::string::npos
                             ? "?"
                             : request.substr(from + 8, request.find('&', from) - from - 8));
    }
    return commands;
  }

  bool Logged(std::string_view line) const { return std::ranges::count(lines, line) > 0; }

  Strings Tray() const {
    Strings described;
    for (const SentTrayRequest& request : desktop.trayRequests)
      described.push_back(Describe(request));
    return described;
  }

  FakeDesktop desktop;
  FakeClock clock;
  TempDir dir;
  ScriptServer server;
  ClientCore core;
  Strings lines;  // every message logged
};

}  // namespace quorvix::testing
