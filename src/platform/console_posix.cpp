#include "platform/console.h"

namespace quorvix::platform {

void PrepareConsole() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

// A systemd user unit has no terminal to hide.
std::string AutoRunArguments() { return "run"; }

bool TakeBackgroundOption(std::vector<std::string>&) { return false; }

}  // namespace quorvix::platform
