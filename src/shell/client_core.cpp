#include "shell/client_core.h"

#include <exception>

#include "digest/md5.h"
#include "settings/status_file.h"

namespace quorvix {

ClientSetup ClientSetup::ForThisMachine() {
  ClientSetup setup;
  setup.backend = platform::MakeSystemSettingsBackend();
  setup.program = platform::CurrentProgramLocation();
  setup.logFilePath = platform::DefaultLogFilePath(setup.program);
  setup.statusFilePath = StatusFilePathBeside(setup.logFilePath);
  // One lock per configuration: two users, or two configuration folders, never block each other.
  try {
    md5 digest;
    setup.lockName +=
        "-" + digest.DigestStrToHexStr(platform::SystemSettingsLocation()).substr(0, 12);
  } catch (const std::exception&) {
    // A location the digest refuses (far too long): one lock for the user's configurations.
  }
  return setup;
}

ClientCore::ClientCore(Desktop& desktop, platform::Clock& clock, ClientSetup setup)
    : backend(std::move(setup.backend)),
      store(*backend, desktop, setup.program, setup.logFilePath),
      log(state, desktop, clock),
      socket(log, setup.limits, std::move(setup.lookup)),
      runner(state, store, log, socket, setup.endpoints),
      shell(ShellServices{state, store, log, runner, desktop, clock}),
      desktop_(desktop),
      clock_(clock) {
  // Lines written before the settings load (none in the normal order) still find the file.
  state.logFilePath = setup.logFilePath;
  store.SetLogSink(&log);
  if (!setup.statusFilePath.empty()) runner.RecordStatusIn(setup.statusFilePath, clock);
}

}  // namespace quorvix
