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

std::string KeptDomainListLine(std::string_view keptAs) {
  return "原有的域名列表无法读取(过长、无法读取或不是普通文件),已另存为" + std::string(keptAs) +
         ",以免丢失";
}

bool SettingsStore::WriteSetting(std::string_view name, std::string_view text) {
  if (name == kSettingDomains) {
    // The dialog showed an empty list for it: keep the old one rather than lose its domains.
    const std::string kept = backend_.KeepUnreadableValue(name, kValueBufferSize);
    if (!kept.empty() && sink_ != nullptr) sink_->WriteLog(KeptDomainListLine(kept), false);
  }
  return backend_.SetValue(name, platform::ToPlatformText(text)) == Status::Ok;
}

std::string_view BoolWord(bool value) { return value ? kTrueWord : kFalseWord; }

}  // namespace quorvix
