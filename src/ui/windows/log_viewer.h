// The log viewer's reading and clearing of the event log file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quorvix {

struct LogSnapshot {
  std::string text;        // every line of the file followed by CR LF, in file order
  std::size_t lines = 0;   // any number: no 16-bit limit
  std::size_t scroll = 0;  // ScrollFor(lines): lines - 23
  std::string error;       // why an existing file could not be read (then text is empty)
};

// The lines the viewer's box shows on the desktop its layout was made for.
inline constexpr std::size_t kVisibleLogLines = 23;

// How far to scroll so that the newest lines fill a box of `visibleRows` rows: lines - rows,
// or 0 when everything fits.
std::size_t ScrollFor(std::size_t lines, std::size_t visibleRows = kVisibleLogLines);

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
