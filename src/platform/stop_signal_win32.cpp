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

Woken WaitForStopOr(Waitable extra, std::chrono::milliseconds timeout) {
  // Long waits are capped below INFINITE, which is never meant.
  const DWORD milliseconds = static_cast<DWORD>(
      std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 0x7fffffff));
  HANDLE handles[2];
  DWORD count = 0;
  // Without the handler installed (a program that takes no stop requests) only `extra` counts.
  if (stopEvent != nullptr) handles[count++] = stopEvent;
  if (extra != kNoWaitable) handles[count++] = extra;
  if (count == 0) {
    ::Sleep(milliseconds);
    return Woken::Timeout;
  }
  const DWORD woken = ::WaitForMultipleObjects(count, handles, FALSE, milliseconds);
  if (woken == WAIT_TIMEOUT || woken >= WAIT_OBJECT_0 + count) return Woken::Timeout;
  return handles[woken - WAIT_OBJECT_0] == stopEvent ? Woken::Stop : Woken::Ready;
}

bool WaitForStop(std::chrono::milliseconds timeout) {
  return WaitForStopOr(kNoWaitable, timeout) == Woken::Stop;
}

}  // namespace quorvix::platform
