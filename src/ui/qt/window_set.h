// The three windows besides the hidden main window: each exists at most once, is shown
// modeless, and comes forward when shown while open.
#pragma once

#include <QPointer>

#include "base/desktop.h"
#include "shell/shell.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_setup.h"
#include "ui/qt/frm_view_log.h"

namespace quorvix {

class WindowSet {
 public:
  // All three must outlive the set.
  WindowSet(ShellServices services, Shell& shell, Desktop& desktop);
  ~WindowSet();

  void Show(Window window);
  void Unload(Window window);

  frmSetup* setup() const { return setup_; }
  frmViewLog* logViewer() const { return logViewer_; }
  frmAbout* about() const { return about_; }

 private:
  ShellServices s_;
  Shell& shell_;
  Desktop& desktop_;
  QPointer<frmSetup> setup_;
  QPointer<frmViewLog> logViewer_;
  QPointer<frmAbout> about_;
};

}  // namespace quorvix
