#include "ui/qt/window_set.h"

namespace quorvix {
namespace {

void Raise(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

WindowSet::WindowSet(ShellServices services, Shell& shell, Desktop& desktop)
    : s_(services), shell_(shell), desktop_(desktop) {}

WindowSet::~WindowSet() {
  delete setup_.data();
  delete logViewer_.data();
  delete about_.data();
}

void WindowSet::Show(Window window) {
  switch (window) {
    case Window::Settings:
      if (!setup_) setup_ = new frmSetup(s_, shell_);
      Raise(*setup_);
      break;
    case Window::LogViewer:
      if (!logViewer_) logViewer_ = new frmViewLog(s_, shell_);
      Raise(*logViewer_);
      break;
    case Window::About:
      if (!about_) about_ = new frmAbout(desktop_);
      Raise(*about_);
      break;
  }
}

void WindowSet::Unload(Window window) {
  QWidget* open = window == Window::Settings    ? static_cast<QWidget*>(setup_.data())
                  : window == Window::LogViewer ? static_cast<QWidget*>(logViewer_.data())
                                                : static_cast<QWidget*>(about_.data());
  if (open != nullptr) open->close();
}

}  // namespace quorvix
