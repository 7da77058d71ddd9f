// The headless client's command line: run in the foreground, change the settings with the
// settings dialog's own rules, update or stop once, print the log.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/address_watch.h"
#include "platform/clock.h"
#include "shell/client_core.h"

namespace quorvix {

struct DaemonContext {
  std::istream& in;   // where --password-stdin reads
  std::ostream& out;  // the log's lines and the commands' output
  std::ostream& err;  // messages and errors
  platform::Clock& clock;
  ClientSetup setup;                                        // the store, log and servers
  std::chrono::milliseconds tick{std::chrono::minutes(1)};  // the watch timer's interval
  bool terminal = false;  // standard input is a terminal (passwords are asked for there)
  // What tells `run` that the machine's addresses changed.
  std::function<std::unique_ptr<platform::AddressWatch>()> openAddressWatch =
      platform::OpenAddressWatch;
  std::string autoRunArguments = "run";  // what the start-with-the-system entry passes
};

// Exit statuses, as `--help` lists them.
inline constexpr int kExitOk = 0;          // done; every domain succeeded
inline constexpr int kExitFailed = 1;      // failed: no connection, refused, time-out, a write
inline constexpr int kExitUsage = 2;       // bad usage
inline constexpr int kExitSomeFailed = 3;  // the service took the command, some domains failed

int RunDaemonCommand(const std::vector<std::string>& args, DaemonContext& context);

}  // namespace quorvix
