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
  // Key by key, without echo: the wait below then also watches the stop request, which a line
  // read would not give up for (Ctrl-C still goes to the stop handler).
  ::SetConsoleMode(input, (saved | ENABLE_PROCESSED_INPUT) &
                              ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT));
  const HANDLE waits[] = {input, static_cast<HANDLE>(StopEvent())};
  const DWORD waitCount = waits[1] != nullptr ? 2 : 1;
  std::optional<std::wstring> wide(std::in_place);
  for (;;) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (::WaitForMultipleObjects(waitCount, waits, FALSE, INFINITE) != WAIT_OBJECT_0 ||
        ::ReadConsoleInputW(input, &record, 1, &read) == 0 || read == 0) {
      wide.reset();  // stopped, or the console has gone
      break;
    }
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const wchar_t c = record.Event.KeyEvent.uChar.UnicodeChar;
    if (c == L'\r' || c == L'\n') break;
    if (c == L'\b') {
      if (!wide->empty()) wide->pop_back();
    } else if (c >= L' ') {
      wide->append(record.Event.KeyEvent.wRepeatCount, c);
    }
  }
  ::SetConsoleMode(input, saved);
  out << "\n";
  if (!wide) return std::nullopt;
  return Narrow(*wide);
}

}  // namespace quorvix::platform
