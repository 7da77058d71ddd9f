#include "platform/settings_backend_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/files.h"
#include "platform/xdg.h"

namespace quorvix::platform {
namespace {

// A value name becomes a file name: refuse what could leave the folder or hide as a
// temporary file.
bool ValidName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace

PosixSettingsBackend::PosixSettingsBackend(PosixSettingsLocations locations,
                                           std::function<void()> beforeRename)
    : locations_(std::move(locations)), beforeRename_(std::move(beforeRename)) {}

PosixSettingsLocations PosixSettingsBackend::UserLocations(AutoRunKind kind) {
  const std::string config = XdgConfigHome();
  if (kind == AutoRunKind::SystemdUserUnit) {
    return {config + "/quorvixDDNS", config + "/systemd/user", kind};
  }
  return {config + "/quorvixDDNS", config + "/autostart", kind};
}

bool PosixSettingsBackend::OpenKey() const {
  if (CreateFolders(locations_.keyFolder, 0700)) return false;
  struct stat info {};
  if (::stat(locations_.keyFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // The values hold passwords: keep the folder private even if someone widened it.
  if ((info.st_mode & 077) != 0) ::chmod(locations_.keyFolder.c_str(), 0700);
  return ::access(locations_.keyFolder.c_str(), R_OK | W_OK | X_OK) == 0;
}

SettingsBackend::Status PosixSettingsBackend::QueryValue(std::string_view name, char* buffer,
                                                         std::size_t& size) {
  if (!OpenKey()) return Status::KeyUnavailable;
  if (!ValidName(name) || size == 0) return Status::Failed;
  const std::string path = locations_.keyFolder + "/" + std::string(name);
  // Non-blocking: a FIFO or a device in the folder must read as missing, not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Status::Failed;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Status::Failed;
  }
  // Read at most `size` bytes: reaching that many means text and terminator cannot both fit.
  std::size_t got = 0;
  bool failed = false;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (failed) return Status::Failed;
  if (got >= size) {
    // The registry reports the size it would have needed; keep the buffer as it was.
    size = static_cast<std::size_t>(info.st_size) + 1;
    std::memset(buffer, 0, got);
    return Status::Failed;
  }
  buffer[got] = '\0';
  size = got + 1;
  return Status::Ok;
}

SettingsBackend::Status PosixSettingsBackend::SetValue(std::string_view name,
                                                       std::string_view bytes) {
  if (!OpenKey()) return Status::KeyUnavailable;
  if (!ValidName(name)) return Status::Failed;
  const std::string path = locations_.keyFolder + "/" + std::string(name);
  return ReplaceFileAtomically(path, bytes, 0600, beforeRename_) ? Status::Failed : Status::Ok;
}

std::string PosixSettingsBackend::KeepUnreadableValue(std::string_view name,
                                                      std::size_t bufferSize) {
  if (!ValidName(name) || !OpenKey()) return {};
  const std::string path = locations_.keyFolder + "/" + std::string(name);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};  // missing: nothing to keep
  if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) < bufferSize &&
      ::access(path.c_str(), R_OK) == 0) {
    return {};  // readable: the store has read it
  }
  char stamp[32] = {};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string kept = path + ".kept-" + stamp;
  for (int n = 2; ::access(kept.c_str(), F_OK) == 0; ++n) {
    kept = path + ".kept-" + stamp + "-" + std::to_string(n);
  }
  if (::rename(path.c_str(), kept.c_str()) != 0) return {};
  return kept;
}

void PosixSettingsBackend::RemoveStaleTemporaries() {
  // A write lasts milliseconds; a temporary file this old belongs to no running write.
  constexpr std::time_t kStaleSeconds = 60;
  DIR* folder = ::opendir(locations_.keyFolder.c_str());
  if (folder == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    // Temporary files are the only dot files here: ".<value>.XXXXXX".
    if (!name.starts_with('.')) continue;
    const std::string path = locations_.keyFolder + "/" + std::string(name);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        now - info.st_mtime >= kStaleSeconds) {
      ::unlink(path.c_str());
    }
  }
  ::closedir(folder);
}

std::string PosixSettingsBackend::AutoRunPath(std::string_view entryName) const {
  const bool unit = locations_.autoRunKind == AutoRunKind::SystemdUserUnit;
  return locations_.autostartFolder + "/" + std::string(entryName) +
         (unit ? ".service" : ".desktop");
}

namespace {

// The link `systemctl --user enable` makes: the unit is started with the user's manager.
std::string WantsLink(const std::string& folder, std::string_view entryName) {
  return folder + "/default.target.wants/" + std::string(entryName) + ".service";
}

}  // namespace

SettingsBackend::Status PosixSettingsBackend::SetAutoRunEntry(std::string_view entryName,
                                                              std::string_view command,
                                                              std::string_view arguments) {
  if (CreateFolders(locations_.autostartFolder, 0700)) return Status::KeyUnavailable;
  if (!ValidName(entryName)) return Status::Failed;
  if (locations_.autoRunKind == AutoRunKind::SystemdUserUnit) {
    const std::string unit =
        "[Unit]\nDescription=quorvixDDNS dynamic DNS client\n"
        "Wants=network-online.target\nAfter=network-online.target\n\n"
        "[Service]\nExecStart=" +
        UnitExecStart(command) + (arguments.empty() ? "" : " " + std::string(arguments)) +
        "\nRestart=on-failure\nRestartSec=30\n\n[Install]\nWantedBy=default.target\n";
    if (ReplaceFileAtomically(AutoRunPath(entryName), unit, 0644)) return Status::Failed;
    const std::string link = WantsLink(locations_.autostartFolder, entryName);
    if (CreateFolders(locations_.autostartFolder + "/default.target.wants", 0755)) {
      return Status::Failed;
    }
    ::unlink(link.c_str());
    const std::string target = "../" + std::string(entryName) + ".service";
    return ::symlink(target.c_str(), link.c_str()) == 0 ? Status::Ok : Status::Failed;
  }
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + std::string(entryName) +
                            "\nExec=" + DesktopEntryExec(command) +
                            (arguments.empty() ? "" : " " + std::string(arguments)) +
                            "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  return ReplaceFileAtomically(AutoRunPath(entryName), entry, 0644) ? Status::Failed : Status::Ok;
}

SettingsBackend::Status PosixSettingsBackend::DeleteAutoRunEntry(std::string_view entryName) {
  struct stat info {};
  if (::stat(locations_.autostartFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return Status::KeyUnavailable;
  }
  if (!ValidName(entryName)) return Status::Failed;
  if (locations_.autoRunKind == AutoRunKind::SystemdUserUnit) {
    ::unlink(WantsLink(locations_.autostartFolder, entryName).c_str());
  }
  return ::unlink(AutoRunPath(entryName).c_str()) == 0 ? Status::Ok : Status::Failed;
}

std::string DesktopEntryExec(std::string_view command) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string escaped;
  for (const char c : command) {
    if (c == '%') {
      escaped += "%%";  // field codes start with %
    } else if (c == '"' || c == '`' || c == '$' || c == '\\') {
      escaped += c == '\\' ? "\\\\\\\\" : std::string("\\\\") + c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";  // string values hold no control characters, only their escapes
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += c;
    }
  }
  if (command.find_first_of(kReserved) == std::string_view::npos) return escaped;
  return "\"" + escaped + "\"";
}

std::string SystemSettingsLocation() { return PosixSettingsBackend::UserLocations().keyFolder; }

std::string UnitExecStart(std::string_view command) {
  std::string escaped;
  for (const char c : command) {
    if (c == '%') {
      escaped += "%%";  // specifiers start with %
    } else if (c == '$') {
      escaped += "$$";  // variables start with $
    } else if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else {
      escaped += c;
    }
  }
  return "\"" + escaped + "\"";
}

std::unique_ptr<SettingsBackend> MakeSystemSettingsBackend() {
  return std::make_unique<PosixSettingsBackend>(PosixSettingsBackend::UserLocations());
}

}  // namespace quorvix::platform
