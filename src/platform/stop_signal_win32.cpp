#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "platform/stop_signal.h"

namespace quorvix::platform {
namespace {

HANDLE stopEvent = nullptr;
// Set with the event, so that the console's closing can wait for the quit to be done.
HANDLE quitDoneEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      ::SetEvent(stopEvent);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Windows ends the process when this handler returns: give the main thread a few
      // seconds to write its stop line first (the system allows five).
      ::SetEvent(stopEvent);
      ::WaitForSingleObject(quitDoneEvent, 4000);
      return TRUE;
    default:
      return FALSE;
  }
}

void NoteQuitDone() {
  if (quitDoneEvent != nullptr) ::SetEvent(quitDoneEvent);
}

}  // namespace

void InstallStopSignals() {
  stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  quitDoneEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // The process's exit is the end of the quit, whichever way it comes.
  std::atexit(NoteQuitDone);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void* StopEvent() { return stopEvent; }

bool WaitForStop(std::chrono::milliseconds timeout) {
  // Long waits are capped below INFINITE, which is never meant.
  const DWORD milliseconds = static_cast<DWORD>(
      std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 0x7fffffff));
  if (stopEvent == nullptr) {  // not installed (a program that takes no stop requests)
    ::Sleep(milliseconds);
    return false;
  }
  return ::WaitForSingleObject(stopEvent, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace quorvix::platform
