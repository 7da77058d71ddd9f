// The settings store of POSIX desktops: a folder per key, a file per value.
#pragma once

#include <functional>
#include <string>

#include "platform/settings_backend.h"

namespace quorvix::platform {

// How a program starts with the system: a desktop session's autostart entry (the tray
// program), or a systemd user unit (the headless client, also without a desktop).
enum class AutoRunKind { DesktopEntry, SystemdUserUnit };

struct PosixSettingsLocations {
  std::string keyFolder;        // $XDG_CONFIG_HOME/quorvixDDNS
  std::string autostartFolder;  // $XDG_CONFIG_HOME/autostart, or .../systemd/user for units
  AutoRunKind autoRunKind = AutoRunKind::DesktopEntry;
};

// Values are files of mode 0600 in a folder of mode 0700 (they hold passwords), each write an
// atomic replace. The start-with-the-system entry is an XDG autostart file
// `<entry name>.desktop` whose Exec line runs the command, or a user unit
// `<entry name>.service` enabled by its link in default.target.wants, as systemctl would.
class PosixSettingsBackend final : public SettingsBackend {
 public:
  // `beforeRename` runs between writing a value's temporary file and renaming it into place;
  // tests use it to stop a write half-way as a crash would.
  explicit PosixSettingsBackend(PosixSettingsLocations locations,
                                std::function<void()> beforeRename = {});

  Status QueryValue(std::string_view name, char* buffer, std::size_t& size) override;
  Status SetValue(std::string_view name, std::string_view bytes) override;
  Status SetAutoRunEntry(std::string_view entryName, std::string_view command,
                         std::string_view arguments) override;
  Status DeleteAutoRunEntry(std::string_view entryName) override;
  std::string KeepUnreadableValue(std::string_view name, std::size_t bufferSize) override;
  void RemoveStaleTemporaries() override;

  // The locations under $XDG_CONFIG_HOME of the current user.
  static PosixSettingsLocations UserLocations(AutoRunKind kind = AutoRunKind::DesktopEntry);

 private:
  bool OpenKey() const;
  std::string AutoRunPath(std::string_view entryName) const;

  PosixSettingsLocations locations_;
  std::function<void()> beforeRename_;
};

// The Exec value of a desktop entry that runs `command` as one program path: quoted and
// escaped when it holds characters the desktop entry format reserves.
std::string DesktopEntryExec(std::string_view command);

// The ExecStart value of a systemd unit that runs `command` as one program path.
std::string UnitExecStart(std::string_view command);

}  // namespace quorvix::platform
