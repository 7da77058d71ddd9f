// The About box as a real window: the emblem, the information text, and the web site's
// address as a blue, underlined link with a hand cursor.
#pragma once

#include "base/desktop.h"
#include "ui/win32/form.h"

namespace quorvix::win32 {

class frmAbout : public Form {
 public:
  // `desktop` must outlive the window. Creates and shows it.
  frmAbout(Desktop& desktop, HICON picture);
  ~frmAbout() override;

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnCommand(int id, int code) override;

  Desktop& desktop_;
  HFONT linkFont_ = nullptr;
};

}  // namespace quorvix::win32
