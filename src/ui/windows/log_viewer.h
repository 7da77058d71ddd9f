// The log viewer's reading and clearing of the event log file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quorvix {

struct LogSnapshot {
  std::string text;         // every line of the file followed by CR LF, in file order
  std::size_t lines = 0;    // any number: no 16-bit limit
  std::size_t scroll = 0;   // lines to scroll down so the newest are in view: lines - 23
  std::string error;        // why an existing file could not be read (then text is empty)
};

// The lines shown without scrolling.
inline constexpr std::size_t kVisibleLogLines = 23;

// Reads the whole file once. A missing file gives an empty snapshot without an error.
LogSnapshot ReadLogSnapshot(const std::string& path);

// Deletes the log file: true when it was deleted; nothing when there was none (`existed`
// false); an error text when it exists but could not be deleted.
struct ClearResult {
  bool existed = false;
  bool deleted = false;
  std::string error;
};
ClearResult ClearLogFile(const std::string& path);

}  // namespace quorvix
