#include "settings/store.h"

#include <array>
#include <cstring>

#include "platform/files.h"

namespace quorvix {

using Status = platform::SettingsBackend::Status;

SettingsStore::SettingsStore(platform::SettingsBackend& backend, Desktop& desktop,
                             platform::ProgramLocation program, std::string logFilePath)
    : backend_(backend),
      desktop_(desktop),
      program_(std::move(program)),
      logFilePath_(std::move(logFilePath)) {}

std::string SettingsStore::ReadSetting(std::string_view name) {
  std::array<char, kValueBufferSize> buffer{};
  std::size_t size = buffer.size();
  const Status status = backend_.QueryValue(name, buffer.data(), size);
  if (status == Status::KeyUnavailable) {
    desktop_.ShowMessage("打开注册表失败", "系统错误", MessageIcon::Critical);
    desktop_.EndProcess();
    return {};
  }
  if (status != Status::Ok || size < 2) return {};
  // The text ends at its first NUL, whatever size the store reported.
  return platform::FromPlatformText(
      std::string_view(buffer.data(), ::strnlen(buffer.data(), buffer.size())));
}

bool SettingsStore::WriteSetting(std::string_view name, std::string_view text) {
  return backend_.SetValue(name, platform::ToPlatformText(text)) == Status::Ok;
}

std::string_view BoolWord(bool value) { return value ? kTrueWord : kFalseWord; }

}  // namespace quorvix
