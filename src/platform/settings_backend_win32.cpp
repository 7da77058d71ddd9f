#include "platform/settings_backend_win32.h"

#include <windows.h>

#include "platform/files.h"

namespace quorvix::platform {
namespace {

HKEY Root(const RegistryHives& hives) { return static_cast<HKEY>(hives.root); }

// One key open for one operation: opened (created when missing) with RegCreateKeyA, closed on
// every path out.
class Key {
 public:
  Key(HKEY root, const std::string& path) {
    opened_ = ::RegCreateKeyA(root, path.c_str(), &key_) == ERROR_SUCCESS;
  }
  ~Key() {
    if (opened_) ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  bool opened() const { return opened_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  bool opened_ = false;
};

using Status = SettingsBackend::Status;

Status SetText(HKEY key, const std::string& name, const std::string& text) {
  // REG_SZ with its terminator: the size passed counts the NUL.
  const LSTATUS rc =
      ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
  return rc == ERROR_SUCCESS ? Status::Ok : Status::Failed;
}

}  // namespace

bool MachineHiveWritable() {
  HKEY key = nullptr;
  const LSTATUS rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, RegistryHives{}.programKey.c_str(), 0,
                                       nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

RegistryHives RegistryHives::Choose(const std::function<bool()>& machineWritable) {
  RegistryHives hives;
  const bool machine = machineWritable ? machineWritable() : MachineHiveWritable();
  hives.root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  return hives;
}

RegistrySettingsBackend::RegistrySettingsBackend(RegistryHives hives) : hives_(std::move(hives)) {}

Status RegistrySettingsBackend::QueryValue(std::string_view name, char* buffer, std::size_t& size) {
  Key key(Root(hives_), hives_.programKey);
  if (!key.opened()) return Status::KeyUnavailable;
  DWORD bytes = static_cast<DWORD>(size);
  const LSTATUS rc = ::RegQueryValueExA(key.get(), std::string(name).c_str(), nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer), &bytes);
  size = bytes;
  return rc == ERROR_SUCCESS ? Status::Ok : Status::Failed;  // ERROR_MORE_DATA: too long
}

Status RegistrySettingsBackend::SetValue(std::string_view name, std::string_view bytes) {
  Key key(Root(hives_), hives_.programKey);
  if (!key.opened()) return Status::KeyUnavailable;
  return SetText(key.get(), std::string(name), std::string(bytes));
}

Status RegistrySettingsBackend::SetAutoRunEntry(std::string_view entryName,
                                                std::string_view command,
                                                std::string_view arguments) {
  Key key(Root(hives_), hives_.runKey);
  if (!key.opened()) return Status::KeyUnavailable;
  // Not quoted, as the entry has always been written; but a path with arguments after it is:
  // unquoted, "C:\Program Files\..." would first start a C:\Program.exe.
  std::string data = ToPlatformText(command);
  if (!arguments.empty()) data = "\"" + data + "\" " + std::string(arguments);
  return SetText(key.get(), ToPlatformText(entryName), data);
}

Status RegistrySettingsBackend::DeleteAutoRunEntry(std::string_view entryName) {
  Key key(Root(hives_), hives_.runKey);
  if (!key.opened()) return Status::KeyUnavailable;
  return ::RegDeleteValueA(key.get(), ToPlatformText(entryName).c_str()) == ERROR_SUCCESS
             ? Status::Ok
             : Status::Failed;
}

std::string SystemSettingsLocation() { return RegistryHives{}.programKey; }

std::unique_ptr<SettingsBackend> MakeSystemSettingsBackend() {
  return std::make_unique<RegistrySettingsBackend>(RegistryHives::Choose());
}

}  // namespace quorvix::platform
