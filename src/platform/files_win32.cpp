#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32_text.h"

namespace quorvix::platform {
namespace {

std::error_code LastError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

std::string ParentOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  // Keep the separator of a root: "C:\" stays whole.
  return (cut == 2 && path[1] == ':') || cut == 0 ? path.substr(0, cut + 1) : path.substr(0, cut);
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  std::error_code Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) ? std::error_code() : LastError();
  }

 private:
  HANDLE handle_;
};

std::error_code WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return LastError();
    }
    bytes.remove_prefix(written);
  }
  return {};
}

}  // namespace

std::error_code CreateFolders(const std::string& path, unsigned) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? std::error_code()
               : std::make_error_code(std::errc::not_a_directory);
  }
  const std::string parent = ParentOf(path);
  if (parent != path && parent != ".") {
    if (auto error = CreateFolders(parent, 0)) return error;
  }
  if (!::CreateDirectoryW(wide.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return LastError();
  }
  return {};
}

std::error_code AppendToFile(const std::string& path, std::string_view bytes) {
  const std::wstring wide = Widen(path);
  const auto open = [&] {
    // Readers and the log viewer's delete may act at any time between lines.
    return ::CreateFileW(wide.c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE raw = open();
  if (raw == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
    if (auto error = CreateFolders(ParentOf(path), 0)) return error;
    raw = open();
  }
  if (raw == INVALID_HANDLE_VALUE) return LastError();
  Handle file(raw);
  if (auto error = WriteAll(file.get(), bytes)) return error;
  return file.Close();
}

std::error_code ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned,
                                      const std::function<void()>& beforeRename) {
  const std::wstring target = Widen(path);
  const std::wstring temp = target + L".tmp" + std::to_wstring(::GetCurrentProcessId());
  {
    Handle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return LastError();
    const auto discard = [&](std::error_code error) {
      file.Close();
      ::DeleteFileW(temp.c_str());
      return error;
    };
    if (auto error = WriteAll(file.get(), bytes)) return discard(error);
    if (!::FlushFileBuffers(file.get())) return discard(LastError());
    if (auto error = file.Close()) {
      ::DeleteFileW(temp.c_str());
      return error;
    }
  }
  if (beforeRename) beforeRename();
  if (!::MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const std::error_code error = LastError();
    ::DeleteFileW(temp.c_str());
    return error;
  }
  return {};
}

std::string ToPlatformText(std::string_view utf8) { return ToCodePage(utf8, CP_ACP); }
std::string FromPlatformText(std::string_view bytes) { return FromCodePage(bytes, CP_ACP); }

std::string ErrorText(std::error_code error) {
  if (error.category() != std::system_category()) return error.message();
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? Narrow(std::wstring_view(text, length)) : error.message();
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

}  // namespace quorvix::platform
