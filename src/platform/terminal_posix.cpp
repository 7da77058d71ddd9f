#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "platform/stop_signal.h"
#include "platform/terminal.h"

namespace quorvix::platform {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadSecretLine(const std::string& prompt, std::ostream& out) {
  out << prompt << std::flush;
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Read byte by byte with the stop signals let through, so that Ctrl-C breaks off the prompt
  // (and the echo comes back) instead of waiting for the Enter key.
  std::optional<std::string> line(std::in_place);
  const sigset_t mask = StopWaitMask();
  for (;;) {
    pollfd entry{STDIN_FILENO, POLLIN, 0};
    const int ready = ::ppoll(&entry, 1, nullptr, &mask);
    if (ready < 0 && errno == EINTR && !StopRequested()) continue;
    char c = 0;
    if (ready < 0 || ::read(STDIN_FILENO, &c, 1) != 1) {
      if (StopRequested()) line.reset();
      break;
    }
    if (c == '\n') break;
    line->push_back(c);
  }
  if (line && !line->empty() && line->back() == '\r') line->pop_back();
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    out << "\n";
  }
  return line;
}

}  // namespace quorvix::platform
