// A CommandRunner wired as the program does, both service hosts at 127.0.0.1, others 10.1.2.3.
#pragma once

#include <gtest/gtest.h>

#include "net/socket_client.h"
#include "platform/settings_backend_posix.h"
#include "protocol/command_runner.h"
#include "support/log_recorder.h"
#include "support/script_server.h"

namespace quorvix::testing {

inline std::vector<std::string> LoopbackLookup(const std::string& name) {
  return {name == "ddns.quorvix.com" || name == "ip.quorvix.com" ? "127.0.0.1" : "10.1.2.3"};
}

struct ClientFixture {
  explicit ClientFixture(std::uint16_t port = 80,
                         SocketLimits limits = {std::chrono::seconds(10), std::chrono::seconds(10)},
                         SocketClient::Lookup lookup = LoopbackLookup)
      : socket(recorder.log(), limits, std::move(lookup)),
        runner(state, store, recorder.log(), socket, {"ddns.quorvix.com", "ip.quorvix.com", port}) {
  }

  // As loading the settings would.
  void StoreDomains(std::string_view list) {
    if (!store.WriteSetting(kSettingDomains, list)) ADD_FAILURE() << "cannot store " << list;
    state.hasDomains = list.find(',') != std::string_view::npos;
  }

  ProgramState state;
  LogRecorder recorder{state};
  TempDir dir;
  platform::PosixSettingsBackend backend{{dir / "quorvixDDNS", dir / "autostart"}};
  SettingsStore store{backend, recorder.desktop(), {"/opt/q", "quorvixDDNS"}, dir / "q.log"};
  SocketClient socket;
  CommandRunner runner;
};

}  // namespace quorvix::testing
