// The program's message loop and the start-up's waits that process messages.
#pragma once

#include <windows.h>

#include <functional>

namespace quorvix::win32 {

// Runs until WM_QUIT; returns its exit code. While `extra` is set (an event handle), the loop
// also wakes when it is signalled and calls `onExtra`, which must take what signalled it.
int RunMessageLoop(HANDLE extra = nullptr, const std::function<void()>& onExtra = {});

// Handles every message already queued; a WM_QUIT met on the way is put back for the loop.
void ProcessPendingMessages();

// Sleeps until a message arrives, then handles the queue.
void WaitForMessages();

}  // namespace quorvix::win32
