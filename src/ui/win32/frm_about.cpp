#include "ui/win32/frm_about.h"

#include "platform/win32_text.h"
#include "ui/windows/about.h"

namespace quorvix::win32 {

frmAbout::frmAbout(Desktop& desktop, HICON picture) : desktop_(desktop) {
  if (!Create(kAboutForm, nullptr, nullptr)) return;
  if (picture != nullptr) {
    ::SendMessageW(Control(kPicture1), STM_SETICON, reinterpret_cast<WPARAM>(picture), 0);
  }
  ::SetWindowTextW(Control(kLblInfo), platform::Widen(AboutText()).c_str());
  ::SetWindowTextW(Control(kLink), platform::Widen(WebSiteAddress()).c_str());
  linkFont_ = CreateSimSun(dpi(), true);
  ::SendMessageW(Control(kLink), WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), FALSE);
  ShowForward();
}

frmAbout::~frmAbout() {
  Close();
  if (linkFont_ != nullptr) ::DeleteObject(linkFont_);
}

LRESULT frmAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool onLink =
      reinterpret_cast<HWND>(message == WM_SETCURSOR ? wParam : lParam) == Control(kLink);
  if (message == WM_CTLCOLORSTATIC && onLink) {
    const HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetTextColor(dc, RGB(0, 0, 255));
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
  }
  if (message == WM_SETCURSOR && onLink) {
    ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
    return TRUE;
  }
  return Form::OnMessage(message, wParam, lParam);
}

void frmAbout::OnCommand(int id, int code) {
  if (id == kAboutOk && code == BN_CLICKED) Close();
  // The outcome of opening the page is not examined.
  if (id == kLink && code == STN_CLICKED) desktop_.OpenWebPage(WebSiteAddress());
}

}  // namespace quorvix::win32
