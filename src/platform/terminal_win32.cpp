#include <io.h>
#include <windows.h>

#include <iostream>
#include <string>

#include "platform/terminal.h"

namespace quorvix::platform {

bool StdinIsTerminal() { return ::_isatty(0) != 0; }

std::optional<std::string> ReadSecretLine(const std::string& prompt, std::ostream& out) {
  out << prompt << std::flush;
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode) != 0;
  if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  std::getline(std::cin, line);
  if (console) {
    ::SetConsoleMode(input, mode);
    out << "\n";
  }
  return line;
}

}  // namespace quorvix::platform
