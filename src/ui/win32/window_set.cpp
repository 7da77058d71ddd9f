#include "ui/win32/window_set.h"

namespace quorvix::win32 {

WindowSet::WindowSet(ShellServices services, Shell& shell, Desktop& desktop, HICON icon)
    : s_(services), shell_(shell), desktop_(desktop), icon_(icon) {}

// A closed window's object is replaced only here, never from inside its own messages.
void WindowSet::Show(Window window) {
  switch (window) {
    case Window::Settings:
      if (setup() == nullptr) {
        setup_.reset();
        setup_ = std::make_unique<frmSetup>(s_, shell_, icon_);
      }
      setup_->ShowForward();
      break;
    case Window::LogViewer:
      if (logViewer() == nullptr) {
        logViewer_.reset();
        logViewer_ = std::make_unique<frmViewLog>(s_, shell_);
      }
      logViewer_->ShowForward();
      break;
    case Window::About:
      if (about() == nullptr) {
        about_.reset();
        about_ = std::make_unique<frmAbout>(desktop_, icon_);
      }
      about_->ShowForward();
      break;
  }
}

void WindowSet::Unload(Window window) {
  Form* open = window == Window::Settings    ? static_cast<Form*>(setup())
               : window == Window::LogViewer ? static_cast<Form*>(logViewer())
                                             : static_cast<Form*>(about());
  if (open != nullptr) open->Close();
}

}  // namespace quorvix::win32
