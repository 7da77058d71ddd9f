// The headless client's command line: run in the foreground, change the settings with the
// settings dialog's own rules, update or stop once, print the log.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

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
};

// Exit statuses: 0 success, 1 failure (a refusal, an update that failed), 2 bad usage.
int RunDaemonCommand(const std::vector<std::string>& args, DaemonContext& context);

}  // namespace quorvix
