#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/program_paths.h"
#include "platform/xdg.h"

namespace quorvix::platform {

ProgramLocation CurrentProgramLocation() {
  // readlink does not say how long the target is, so grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw std::system_error(errno, std::generic_category(), "/proc/self/exe");
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return LocationOfPath(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string AutoRunCommand(const ProgramLocation& location) {
  std::string folder = location.folder;
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder + "/" + location.baseName;
}

std::string DefaultLogFilePath(const ProgramLocation&) {
  return XdgStateHome() + "/quorvixDDNS/quorvixDDNS.log";
}

char PathSeparator() { return '/'; }

}  // namespace quorvix::platform
