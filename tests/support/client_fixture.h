// A CommandRunner wired as the program wires it, but with its settings in a temporary folder
// and a name lookup that sends both service hosts to 127.0.0.1, so that a ScriptServer on an
// ephemeral port stands in for the service and no test asks DNS anything.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/socket_client.h"
#include "platform/settings_backend_posix.h"
#include "protocol/command_runner.h"
#include "protocol/endpoints.h"
#include "settings/store.h"
#include "shell/program_state.h"
#include "support/log_recorder.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

inline constexpr std::string_view kTestUpdateHost = "ddns.quorvix.com";
inline constexpr std::string_view kTestInfoHost = "ip.quorvix.com";
// What every other name (the machine's own host name) resolves to.
inline constexpr std::string_view kTestLocalAddress = "10.1.2.3";

// Waits long enough for a loaded machine; only tests of a silent server shorten them.
inline SocketLimits RoomyLimits() {
  return {std::chrono::seconds(10), std::chrono::seconds(10), 1024 * 1024};
}

inline std::vector<std::string> LoopbackLookup(const std::string& name) {
  if (name == kTestUpdateHost || name == kTestInfoHost) return {"127.0.0.1"};
  return {std::string(kTestLocalAddress)};
}

struct ClientFixture {
  explicit ClientFixture(std::uint16_t port = 80, SocketLimits limits = RoomyLimits())
      : socket(recorder.log(), limits, LoopbackLookup),
        runner(state, store, recorder.log(), socket,
               ServiceEndpoints{std::string(kTestUpdateHost), std::string(kTestInfoHost), port}) {}

  // Stores the list and sets hasDomains as loading the settings would.
  void StoreDomains(std::string_view list) {
    if (!store.WriteSetting(kSettingDomains, list)) ADD_FAILURE() << "cannot store " << list;
    state.hasDomains = list.find(',') != std::string_view::npos;
  }

  ProgramState state;
  LogRecorder recorder{state};
  TempDir dir;
  platform::PosixSettingsBackend backend{
      platform::PosixSettingsLocations{dir / "quorvixDDNS", dir / "autostart"}};
  SettingsStore store{backend, recorder.desktop(),
                      platform::ProgramLocation{"/opt/q", "quorvixDDNS"}, dir / "quorvixDDNS.log"};
  SocketClient socket;
  CommandRunner runner;
};

}  // namespace quorvix::testing
