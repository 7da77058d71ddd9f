// A top-level window of the program built from a layout: fixed size, a title bar with a close
// box and no minimise or maximise button, controls at their twips positions scaled to the
// screen's dpi, in 9-point SimSun. The message loop lets it handle Tab and access keys.
#pragma once

#include <windows.h>

#include "ui/win32/layouts.h"

namespace quorvix::win32 {

class Form {
 public:
  Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form();

  // Null once the window has been destroyed (closed by the user or by the program).
  HWND hwnd() const { return hwnd_; }
  HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }

  // Shows the window and brings it forward.
  void ShowForward() const;
  // Destroys the window if it exists; its WM_DESTROY handling runs.
  void Close() const;

  // True for the windows made by this class (the message loop asks).
  static bool IsForm(HWND window);

 protected:
  // Creates the window, hidden and centred on the screen, with `menu` (may be null) and
  // `icon` in its title bar.
  bool Create(const FormLayout& layout, HMENU menu, HICON icon);

  // The window's messages; the default passes them to DefWindowProc.
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // A click or a menu item: the control's or item's id and the notification code.
  virtual void OnCommand(int /*id*/, int /*code*/) {}
  // WM_DESTROY: the window is going away.
  virtual void OnDestroy() {}

  int dpi() const { return dpi_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  SIZE size_{};  // the window's size from its layout, kept also on a smaller screen
  int dpi_ = 96;
};

// 9-point "宋体" with the GB2312 character set at `dpi`; the caller deletes it.
HFONT CreateSimSun(int dpi, bool underline);

// The screen's dpi (the program is dpi aware, so this is the real one).
int ScreenDpi();

}  // namespace quorvix::win32
