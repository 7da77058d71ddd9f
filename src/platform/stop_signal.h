// The stop request of a console program: SIGTERM or SIGINT (Ctrl-C) on POSIX; Ctrl-C,
// Ctrl-Break or the console's closing on Windows. Once installed, the signals are held until
// the program waits: its waits (the main loop, socket waits, the password prompt) take them, so
// a stop is seen within moments, even in the middle of a reply wait, and never between a check
// and the wait that follows it.
#pragma once

#include <chrono>

#include "platform/waitable.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace quorvix::platform {

// Installs the handler and holds the signals; call at start, before any thread starts.
void InstallStopSignals();

// Waits at most `timeout` for a stop signal; true when one has arrived, now or earlier.
bool WaitForStop(std::chrono::milliseconds timeout);

// Waits at most `timeout` for a stop signal or for `extra` to turn ready (kNoWaitable: never).
enum class Woken { Stop, Ready, Timeout };
Woken WaitForStopOr(Waitable extra, std::chrono::milliseconds timeout);

// True when a stop signal has arrived (a pending one is taken first).
inline bool StopRequested() { return WaitForStop(std::chrono::milliseconds(0)); }

#ifndef _WIN32
// The signal mask a blocking wait should use (ppoll, pselect): the current one with the stop
// signals let through, so that a stop breaks the wait off with EINTR.
sigset_t StopWaitMask();
#else
// The event that a stop request sets (a manual-reset event, never reset): blocking waits
// include it, so that a stop breaks them off. Null before InstallStopSignals.
void* StopEvent();
#endif

}  // namespace quorvix::platform
