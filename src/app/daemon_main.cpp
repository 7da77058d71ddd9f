// quorvixddnsd: the headless client.
#include <iostream>
#include <string>
#include <vector>

#include "headless/daemon_commands.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/stop_signal.h"
#include "platform/terminal.h"

#ifndef _WIN32
#include "platform/settings_backend_posix.h"
#endif

#ifdef QUORVIX_TEST_SEAMS
#include <cstdlib>
#endif

int main(int argc, char** argv) {
  // Stop signals wait to be taken by the program's waits, before anything else runs.
  quorvix::platform::InstallStopSignals();
  std::vector<std::string> args = quorvix::platform::ProgramArguments(argc, argv);
  // Before the console is prepared: one let go of is not written to.
  quorvix::platform::TakeBackgroundOption(args);
  quorvix::platform::PrepareConsole();
  quorvix::platform::SystemClock clock;
  quorvix::DaemonContext context{std::cin, std::cout, std::cerr, clock,
                                 quorvix::ClientSetup::ForThisMachine()};
  context.terminal = quorvix::platform::StdinIsTerminal();
  context.autoRunArguments = quorvix::platform::AutoRunArguments();
#ifndef _WIN32
  // The headless client starts with the system as a systemd user unit, not as a desktop
  // session's autostart entry (that one is the tray program's). On Windows it is a Run entry of
  // its own name beside the tray program's.
  context.setup.backend = std::make_unique<quorvix::platform::PosixSettingsBackend>(
      quorvix::platform::PosixSettingsBackend::UserLocations(
          quorvix::platform::AutoRunKind::SystemdUserUnit));
#endif
#ifdef QUORVIX_TEST_SEAMS
  // Only the test build of the program: the service's port on loopback and a faster watch.
  if (const char* port = std::getenv("QUORVIX_TEST_PORT")) {
    context.setup.endpoints.port = static_cast<std::uint16_t>(std::atoi(port));
    context.setup.lookup = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
  }
  if (const char* tick = std::getenv("QUORVIX_TEST_TICK_MS")) {
    context.tick = std::chrono::milliseconds(std::atoi(tick));
  }
#endif
  return quorvix::RunDaemonCommand(args, context);
}
