// The settings store of Windows: the registry (Windows only).
#pragma once

#include <functional>
#include <string>

#include "platform/settings_backend.h"

namespace quorvix::platform {

// Where the values and the Run entry live: the machine's hive when this process may write
// there, else the same paths in the user's hive. The choice is made once, when the backend is
// created, and every read and write then uses that hive, so that a value is always read from
// where it was written.
struct RegistryHives {
  void* root = nullptr;  // an HKEY: HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
  std::string programKey = "SOFTWARE\\QuorvixDDNS";
  std::string runKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

  // HKLM when its program key can be opened for writing, else HKCU. `machineWritable` tells
  // whether HKLM can be written (the real check by default; tests replace it).
  static RegistryHives Choose(const std::function<bool()>& machineWritable = {});
};

class RegistrySettingsBackend final : public SettingsBackend {
 public:
  explicit RegistrySettingsBackend(RegistryHives hives);

  Status QueryValue(std::string_view name, char* buffer, std::size_t& size) override;
  Status SetValue(std::string_view name, std::string_view bytes) override;
  Status SetAutoRunEntry(std::string_view entryName, std::string_view command,
                         std::string_view arguments) override;
  Status DeleteAutoRunEntry(std::string_view entryName) override;

  const RegistryHives& hives() const { return hives_; }

 private:
  RegistryHives hives_;
};

// True when the machine hive's program key opens for reading and writing.
bool MachineHiveWritable();

}  // namespace quorvix::platform
