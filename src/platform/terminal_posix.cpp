#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "platform/terminal.h"

namespace quorvix::platform {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::string ReadSecretLine(const std::string& prompt, std::ostream& out) {
  out << prompt << std::flush;
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    out << "\n";
  }
  return line;
}

}  // namespace quorvix::platform
