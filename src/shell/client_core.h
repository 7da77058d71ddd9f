// The client without its front-end: the program-wide state and every service of the logic,
// wired together once. The tray program and the headless client each own one.
#pragma once

#include <memory>
#include <string>

#include "base/desktop.h"
#include "base/program_state.h"
#include "net/socket_client.h"
#include "platform/clock.h"
#include "platform/program_paths.h"
#include "platform/settings_backend.h"
#include "protocol/command_runner.h"
#include "protocol/endpoints.h"
#include "settings/event_log.h"
#include "settings/store.h"
#include "shell/shell.h"

namespace quorvix {

struct ClientSetup {
  std::unique_ptr<platform::SettingsBackend> backend;
  platform::ProgramLocation program;
  std::string logFilePath;
  std::string statusFilePath;  // the last known state; none when empty
  SocketLimits limits;
  SocketClient::Lookup lookup = platform::LookupIpv4;
  ServiceEndpoints endpoints;  // the built-in servers; tests alone change them
  // The lock that one client of this configuration holds while it runs (the tray program or
  // the headless client's run); "-settings" after it names the lock of settings changes.
  std::string lockName = "quorvixDDNS";

  // The store, log and servers of the running program on this platform.
  static ClientSetup ForThisMachine();
};

class ClientCore {
 public:
  // `desktop` and `clock` must outlive the core.
  ClientCore(Desktop& desktop, platform::Clock& clock, ClientSetup setup);

  ShellServices services() { return {state, store, log, runner, desktop_, clock_}; }

  ProgramState state;
  std::unique_ptr<platform::SettingsBackend> backend;
  SettingsStore store;
  EventLog log;
  SocketClient socket;
  CommandRunner runner;
  Shell shell;

 private:
  Desktop& desktop_;
  platform::Clock& clock_;
};

}  // namespace quorvix
