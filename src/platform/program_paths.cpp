#include "platform/program_paths.h"

namespace quorvix::platform {

std::string BaseNameOf(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(fileName);
  return std::string(fileName.substr(0, dot));
}

ProgramLocation LocationOfPath(std::string_view path) {
  const auto cut = path.find_last_of("/\\");
  if (cut == std::string_view::npos) return {std::string(), BaseNameOf(path)};
  std::string_view folder = path.substr(0, cut);
  // A root keeps its separator: "/" on POSIX, "C:\" on Windows, as the platform reports it.
  const bool root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
  if (root) folder = path.substr(0, cut + 1);
  return {std::string(folder), BaseNameOf(path.substr(cut + 1))};
}

}  // namespace quorvix::platform
