// The three windows besides the hidden main window: each exists at most once, is shown
// modeless, and comes forward when shown while open.
#pragma once

#include <memory>

#include "base/desktop.h"
#include "shell/shell.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_setup.h"
#include "ui/win32/frm_view_log.h"

namespace quorvix::win32 {

class WindowSet {
 public:
  // All must outlive the set; `icon` is the program's emblem (title bar, About).
  WindowSet(ShellServices services, Shell& shell, Desktop& desktop, HICON icon);

  void Show(Window window);
  void Unload(Window window);

  // The open window, or null.
  frmSetup* setup() const { return Open(setup_); }
  frmViewLog* logViewer() const { return Open(logViewer_); }
  frmAbout* about() const { return Open(about_); }

 private:
  template <typename T>
  static T* Open(const std::unique_ptr<T>& form) {
    return form && form->hwnd() != nullptr ? form.get() : nullptr;
  }

  ShellServices s_;
  Shell& shell_;
  Desktop& desktop_;
  HICON icon_;
  std::unique_ptr<frmSetup> setup_;
  std::unique_ptr<frmViewLog> logViewer_;
  std::unique_ptr<frmAbout> about_;
};

}  // namespace quorvix::win32
