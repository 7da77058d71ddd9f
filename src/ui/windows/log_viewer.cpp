#include "ui/windows/log_viewer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/files.h"
#include "settings/event_log.h"

namespace quorvix {

std::size_t ScrollFor(std::size_t lines, std::size_t visibleRows) {
  return lines > visibleRows ? lines - visibleRows : 0;
}

namespace {

// Appends the file's lines to the snapshot; false with the error set when it cannot be read.
bool AppendLogFile(const std::string& path, LogSnapshot& snapshot) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return true;
  std::ifstream file(path, std::ios::binary);
  if (!file || std::filesystem::is_directory(path, error)) {
    snapshot.error =
        platform::ErrorText(std::error_code(errno ? errno : EISDIR, std::generic_category()));
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    // The file's lines end in CR LF; a lone LF ends a line too.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    snapshot.text += platform::FromPlatformText(line);
    snapshot.text += "\r\n";
    ++snapshot.lines;
  }
  if (file.bad()) {
    snapshot.error = platform::ErrorText(std::error_code(EIO, std::generic_category()));
    return false;
  }
  return true;
}

}  // namespace

LogSnapshot ReadLogSnapshot(const std::string& path) {
  LogSnapshot snapshot;
  // The older generation first: the lines stay in the order they were written.
  for (const std::string& file : {OlderLogPath(path), path}) {
    if (!AppendLogFile(file, snapshot)) {
      const std::string error = snapshot.error;
      snapshot = LogSnapshot{};
      snapshot.error = error;
      return snapshot;
    }
  }
  snapshot.scroll = ScrollFor(snapshot.lines);
  return snapshot;
}

ClearResult ClearLogFile(const std::string& path) {
  ClearResult result;
  std::error_code error;
  // The older generation goes too: a cleared log shows nothing.
  if (std::filesystem::exists(OlderLogPath(path), error)) {
    std::filesystem::remove(OlderLogPath(path), error);
  }
  result.existed = std::filesystem::exists(path, error);
  if (!result.existed) return result;
  result.deleted = std::filesystem::remove(path, error) && !error;
  if (!result.deleted) result.error = platform::ErrorText(error);
  return result;
}

}  // namespace quorvix
