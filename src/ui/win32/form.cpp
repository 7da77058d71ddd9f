#include "ui/win32/form.h"

#include <algorithm>

#include "platform/win32_text.h"
#include "ui/setup/center_form.h"

namespace quorvix::win32 {
namespace {

constexpr wchar_t kClassName[] = L"quorvixDDNS_Form";
// Not WS_CLIPCHILDREN: the group boxes draw no background, the form draws it beneath them.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

ATOM RegisterFormClass(WNDPROC procedure) {
  static const ATOM atom = [procedure] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kClassName;
    return ::RegisterClassExW(&type);
  }();
  return atom;
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Group:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case ControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::Edit:
      return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::List:
      return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE};
    case ControlKind::Check:
      return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlKind::LogBox:
      return {L"EDIT",
              WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL |
                  ES_AUTOVSCROLL,
              WS_EX_CLIENTEDGE};
    case ControlKind::Picture:
      return {L"STATIC", SS_ICON | SS_REALSIZEIMAGE, 0};
    case ControlKind::Link:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    case ControlKind::Line:
      return {L"STATIC", SS_GRAYRECT, 0};
  }
  return {L"STATIC", 0, 0};
}

}  // namespace

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HFONT CreateSimSun(int dpi, bool underline) {
  return ::CreateFontW(-::MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE,
                       FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

Form::~Form() {
  Close();
  if (font_ != nullptr) ::DeleteObject(font_);
}

bool Form::IsForm(HWND window) {
  return window != nullptr &&
         static_cast<ATOM>(::GetClassLongPtrW(window, GCW_ATOM)) == RegisterFormClass(Procedure);
}

void Form::ShowForward() const {
  if (hwnd_ == nullptr) return;
  ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(hwnd_);
}

void Form::Close() const {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

bool Form::Create(const FormLayout& layout, HMENU menu, HICON icon) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  dpi_ = ScreenDpi();
  font_ = CreateSimSun(dpi_, false);
  RECT frame{0, 0, TwipsToPixels(layout.clientWidth, dpi_),
             TwipsToPixels(layout.clientHeight, dpi_)};
  ::AdjustWindowRectEx(&frame, kFormStyle, menu != nullptr, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const FormPosition place = CenterForm(static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)),
                                        static_cast<float>(::GetSystemMetrics(SM_CYSCREEN)),
                                        static_cast<float>(width), static_cast<float>(height));
  const HWND window = ::CreateWindowExW(
      WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, MAKEINTATOM(RegisterFormClass(Procedure)),
      platform::Widen(layout.title).c_str(), kFormStyle, static_cast<int>(place.left),
      static_cast<int>(place.top), width, height, nullptr, menu, instance, this);
  if (window == nullptr) {
    if (menu != nullptr) ::DestroyMenu(menu);
    return false;
  }
  // The system limits a new window to the screen before the form hears of it: size it again,
  // now that the form answers WM_GETMINMAXINFO.
  size_ = {width, height};
  ::SetWindowPos(window, nullptr, static_cast<int>(place.left), static_cast<int>(place.top), width,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
  if (icon != nullptr) {
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  // Created in keyboard order: the tab order follows the creation order.
  for (const ControlLayout& control : layout.controls) {
    const ControlClass type = ClassOf(control.kind);
    const HWND child = ::CreateWindowExW(
        type.exStyle, type.name, platform::Widen(control.caption).c_str(),
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | type.style, TwipsToPixels(control.left, dpi_),
        TwipsToPixels(control.top, dpi_), TwipsToPixels(control.width, dpi_),
        TwipsToPixels(control.height, dpi_), window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
    if (child != nullptr) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  return true;
}

LRESULT Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Form::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->hwnd_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      form->OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_GETMINMAXINFO: {
      // A screen smaller than the window does not shrink it: it keeps the layout's size, and
      // its centred place then starts above or left of the screen.
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMaxTrackSize.x = std::max(limits->ptMaxTrackSize.x, form->size_.cx);
      limits->ptMaxTrackSize.y = std::max(limits->ptMaxTrackSize.y, form->size_.cy);
      return 0;
    }
    case WM_DESTROY:
      form->OnDestroy();
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      form->hwnd_ = nullptr;
      return ::DefWindowProcW(window, message, wParam, lParam);
    default:
      return form->OnMessage(message, wParam, lParam);
  }
}

}  // namespace quorvix::win32
