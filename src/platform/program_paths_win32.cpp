#include <shlobj.h>
#include <windows.h>

#include <string>
#include <system_error>

#include "platform/files.h"
#include "platform/program_paths.h"
#include "platform/win32_text.h"

namespace quorvix::platform {
namespace {

constexpr const char* kLogName = "quorvixDDNS.log";

// True when a file can be created in the folder (a program under Program Files is not
// writable by a standard user).
bool FolderWritable(const std::string& folder) {
  std::string probe = folder;
  if (!probe.empty() && probe.back() != '\\') probe += '\\';
  probe += ".quorvix-write-test";
  const HANDLE file = ::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

}  // namespace

ProgramLocation CurrentProgramLocation() {
  // Paths may be longer than MAX_PATH: grow until the name fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                              "GetModuleFileName");
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return LocationOfPath(Narrow(buffer));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string AutoRunCommand(const ProgramLocation& location) {
  std::string folder = location.folder;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder + "\\" + location.baseName + ".exe";
}

std::string DefaultLogFilePath(const ProgramLocation& location) {
  // Beside the program, the folder's text as it stands: "C:\" gives "C:\\quorvixDDNS.log".
  if (FolderWritable(location.folder)) return location.folder + "\\" + kLogName;
  // Elsewhere the user's local application data holds it.
  wchar_t* appData = nullptr;
  std::string folder;
  if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData) == S_OK) {
    folder = Narrow(appData);
  }
  ::CoTaskMemFree(appData);
  return folder + "\\quorvixDDNS\\" + kLogName;
}

char PathSeparator() { return '\\'; }

}  // namespace quorvix::platform
