#include "ui/win32/message_loop.h"

#include "ui/win32/form.h"

namespace quorvix::win32 {
namespace {

// Tab, the arrow keys and access keys move through a form's controls as in a dialog.
void Dispatch(MSG& message) {
  const HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (Form::IsForm(root) && ::IsDialogMessageW(root, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

}  // namespace

int RunMessageLoop(HANDLE extra, const std::function<void()>& onExtra) {
  const DWORD handles = extra != nullptr ? 1 : 0;
  for (MSG message{};;) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      Dispatch(message);
    }
    const DWORD woken =
        ::MsgWaitForMultipleObjectsEx(handles, &extra, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (handles == 1 && woken == WAIT_OBJECT_0) onExtra();
  }
}

void ProcessPendingMessages() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void WaitForMessages() {
  ::WaitMessage();
  ProcessPendingMessages();
}

}  // namespace quorvix::win32
