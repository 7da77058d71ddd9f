// A client wired for tests: the store and log in a temporary folder, both servers on one
// loopback port, short waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/settings_backend_posix.h"
#include "shell/client_core.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

inline ClientSetup LoopbackSetup(const TempDir& dir, std::uint16_t port,
                                 std::chrono::milliseconds wait = std::chrono::milliseconds(200)) {
  ClientSetup setup;
  setup.backend = std::make_unique<platform::PosixSettingsBackend>(
      platform::PosixSettingsLocations{dir / "config", dir / "autostart"});
  setup.program = {"/opt/q", "quorvixDDNS"};
  setup.logFilePath = dir / "quorvixDDNS.log";
  setup.limits.replyWait = wait;
  setup.limits.readLimit = wait;
  setup.lookup = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
  setup.endpoints = ServiceEndpoints{"ddns.quorvix.com", "ip.quorvix.com", port};
  return setup;
}

}  // namespace quorvix::testing
