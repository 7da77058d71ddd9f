// The start-with-the-system entry: the Run value on Windows, an autostart file elsewhere.
#include "settings/store.h"

namespace quorvix {

bool SettingsStore::SetAutoRun(bool enable) {
  using Status = platform::SettingsBackend::Status;
  const std::string command = platform::AutoRunCommand(program_);
  const Status status =
      enable ? backend_.SetAutoRunEntry(program_.baseName, command, autoRunArguments_)
             : backend_.DeleteAutoRunEntry(program_.baseName);
  return status == Status::Ok;
}

}  // namespace quorvix
