// The log viewer as a real window: the log file read once when it opens, in a read-only edit
// box scrolled so that the newest lines are in view.
#pragma once

#include <cstddef>

#include "shell/shell.h"
#include "ui/win32/form.h"

namespace quorvix::win32 {

class frmViewLog : public Form {
 public:
  // Both must outlive the window. Creates, fills and shows it.
  frmViewLog(ShellServices services, Shell& shell);
  ~frmViewLog() override;

  // The line the box shows first (0 for the file's first line).
  int firstVisibleLine() const;

 private:
  void OnCommand(int id, int code) override;
  void Clear();

  ShellServices s_;
  Shell& shell_;
};

}  // namespace quorvix::win32
