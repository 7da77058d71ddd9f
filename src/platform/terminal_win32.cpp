#include <windows.h>

#include <iostream>
#include <string>

#include "platform/stop_signal.h"
#include "platform/terminal.h"
#include "platform/win32_text.h"

namespace quorvix::platform {

// A console, not merely a character device: NUL is one too, and cannot be prompted.
bool StdinIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadSecretLine(const std::string& prompt, std::ostream& out) {
  out << prompt << std::flush;
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (::GetConsoleMode(input, &saved) == 0) return std::nullopt;
  // Line input without echo; Ctrl-C still reaches the stop handler, which ends the read.
  ::SetConsoleMode(input, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                              ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::optional<std::wstring> wide(std::in_place);
  for (;;) {
    wchar_t c = 0;
    DWORD read = 0;
    // Wide characters: the console's code page (437, 936) is not what the program keeps.
    const BOOL ok = ::ReadConsoleW(input, &c, 1, &read, nullptr);
    // Ctrl-C aborts the read before the handler's thread has run: a read that ends without a
    // character is a cancel, and the stop request it brings is taken here.
    if (!ok || read == 0 || StopRequested()) {
      WaitForStop(std::chrono::milliseconds(200));
      wide.reset();
      break;
    }
    if (c == L'\n') break;
    if (c != L'\r') wide->push_back(c);
  }
  ::SetConsoleMode(input, saved);
  out << "\n";
  if (!wide) return std::nullopt;
  return Narrow(*wide);
}

}  // namespace quorvix::platform
