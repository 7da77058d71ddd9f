#include "ui/win32/frm_main.h"

#include <algorithm>
#include <cstring>

#include "platform/win32_text.h"
#include "shell/shell.h"
#include "ui/win32/message_loop.h"
#include "ui/win32/resource_ids.h"

namespace quorvix::win32 {
namespace {

constexpr UINT_PTR kWatchTimerId = 1;
constexpr UINT_PTR kEarlyCheckTimerId = 2;  // one-shot: killed when it fires
constexpr UINT kWatchIntervalMs = 60000;

HICON LoadTrayImage(int id) {
  const HANDLE image = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                    ::GetSystemMetrics(SM_CXSMICON),
                                    ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
  // A build without the resources (the layout tests) still gets an image.
  return image != nullptr ? static_cast<HICON>(image)
                          : ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

// The tip in the ANSI code page, cut to the 63 bytes the field holds without splitting a
// double-byte character.
void PutTip(NOTIFYICONDATAA& data, const std::string& tip) {
  const std::string bytes = platform::ToCodePage(tip, CP_ACP);
  std::size_t length = 0;
  while (length < bytes.size()) {
    const std::size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(bytes[length])) ? 2 : 1;
    if (length + step > sizeof data.szTip - 1) break;
    length += step;
  }
  std::memset(data.szTip, 0, sizeof data.szTip);
  std::memcpy(data.szTip, bytes.data(), length);
}

ATOM RegisterMainClass(WNDPROC procedure) {
  static const ATOM atom = [procedure] {
    WNDCLASSEXA type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = kMainClassName;
    return ::RegisterClassExA(&type);
  }();
  return atom;
}

}  // namespace

frmMain::frmMain() {
  images_[0] = LoadTrayImage(QUORVIX_ICON_COLOUR);
  images_[1] = LoadTrayImage(QUORVIX_ICON_GREY);
  // A hidden top-level window, not a message-only one: only top-level windows hear the
  // taskbar's broadcast when Explorer restarts.
  RegisterMainClass(MainProc);
  hwnd_ = ::CreateWindowExA(0, kMainClassName, "frmMain", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                            nullptr, ::GetModuleHandleW(nullptr), this);
  taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");
  if (hwnd_ != nullptr)
    ::ChangeWindowMessageFilterEx(hwnd_, taskbarCreated_, MSGFLT_ALLOW, nullptr);

  mnuTray_ = ::CreatePopupMenu();
  const std::pair<int, const char*> items[] = {
      {kMnuTrayLog, "日志记录"},  {kMnuTrayUpdate, "升级软件"}, {kMnuTrayFlush, "刷新解析"},
      {kMnuTrayStop, "停止解析"}, {kMnuTraySetup, "参数设置"},  {0, "-"},
      {kMnuTrayHelp, "帮助"},     {kMnuTrayAbout, "关于"},      {kMnuTrayQuit, "退出"}};
  for (const auto& [id, caption] : items) {
    if (id == 0) {
      ::AppendMenuW(mnuTray_, MF_SEPARATOR, 0, nullptr);
    } else {
      ::AppendMenuW(mnuTray_, MF_STRING, static_cast<UINT_PTR>(id),
                    platform::Widen(caption).c_str());
    }
  }
  // Until the windows exist they are stand-ins that close at once; the settings stand-in
  // unloads as the dialog will, so a start-up waiting for it goes on.
  showWindow_ = [this](Window window) {
    if (window == Window::Settings && state_ != nullptr) state_->setupWaiting = false;
  };
  unloadWindow_ = [](Window) {};
}

frmMain::~frmMain() {
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  if (mnuTray_ != nullptr) ::DestroyMenu(mnuTray_);
}

void frmMain::Attach(Shell& shell, ProgramState& state) {
  shell_ = &shell;
  state_ = &state;
}

void frmMain::SetWindowHandlers(WindowOpener show, WindowOpener unload) {
  showWindow_ = std::move(show);
  unloadWindow_ = std::move(unload);
}

void frmMain::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
  const UINT kind = icon == MessageIcon::Critical  ? MB_ICONERROR
                    : icon == MessageIcon::Warning ? MB_ICONWARNING
                                                   : MB_ICONINFORMATION;
  // Modal for the whole program, as the program's every window waits for it; owned by the
  // active window, which gets the focus back when the box closes.
  ::MessageBoxW(::GetActiveWindow(), platform::Widen(text).c_str(), platform::Widen(title).c_str(),
                MB_OK | MB_TASKMODAL | MB_SETFOREGROUND | kind);
}

void frmMain::EndProcess() { ::ExitProcess(0); }

void frmMain::SendTrayRequest(TrayRequest request, const TrayRecord& record) {
  trayIconData_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  trayIconData_.hWnd = hwnd_;
  trayIconData_.uID = TrayRecord::kIconId;
  trayIconData_.uFlags = static_cast<UINT>(record.flags);
  trayIconData_.uCallbackMessage = TrayRecord::kCallbackMessage;
  trayIconData_.hIcon = images_[static_cast<int>(record.image)];
  PutTip(trayIconData_, record.tip);
  const DWORD what = request == TrayRequest::Add      ? NIM_ADD
                     : request == TrayRequest::Modify ? NIM_MODIFY
                                                      : NIM_DELETE;
  ::Shell_NotifyIconA(what, &trayIconData_);
  if (request != TrayRequest::Modify) iconAdded_ = request == TrayRequest::Add;
}

void frmMain::InstallTrayHook() {
  previousWndProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TrayWndProc)));
}

void frmMain::RemoveTrayHook() {
  if (previousWndProc_ == nullptr) return;
  ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousWndProc_));
  previousWndProc_ = nullptr;
}

void frmMain::SetQuitEnabled(bool enabled) {
  ::EnableMenuItem(mnuTray_, kMnuTrayQuit, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void frmMain::SetWatchTimer(bool enabled) {
  if (enabled) {
    ::SetTimer(hwnd_, kWatchTimerId, kWatchIntervalMs, nullptr);
    // A change of the machine's addresses during the start-up is checked now.
    if (shell_ != nullptr) ArmEarlyCheck(shell_->EarlyCheckDue());
  } else {
    ::KillTimer(hwnd_, kWatchTimerId);
  }
}

void frmMain::TakeAddressChanges() {
  // Taken first in any case: an event left signalled would wake the loop for ever.
  if (addresses_ == nullptr || !addresses_->TakeChanges() || shell_ == nullptr) return;
  shell_->Guarded(
      [this] { ArmEarlyCheck(shell_->AddressesChanged(std::chrono::steady_clock::now())); });
}

void frmMain::ArmEarlyCheck(std::optional<std::chrono::steady_clock::time_point> due) {
  // A zero interval would be raised to the system's minimum anyway.
  if (due) ::SetTimer(hwnd_, kEarlyCheckTimerId, UINT(EarlyCheck::Until(*due).count()), nullptr);
}

void frmMain::ShowWindow(Window window) { showWindow_(window); }

void frmMain::UnloadWindow(Window window) { unloadWindow_(window); }

void frmMain::UnloadMain() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void frmMain::ProcessEvents() { ProcessPendingMessages(); }

void frmMain::WaitForEvents() { WaitForMessages(); }

void frmMain::OpenWebPage(const std::string& url) {
  // The address goes to the shell as it is; no command line is built from it.
  ::ShellExecuteW(nullptr, L"open", platform::Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void frmMain::ShowTrayMenu() {
  POINT at{};
  ::GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  ::SetForegroundWindow(hwnd_);
  ::TrackPopupMenu(mnuTray_, TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void frmMain::RunItem(int id) {
  if (shell_ == nullptr) return;
  // A command sent to the window from outside obeys the menu: Quit stays off during start-up.
  if ((::GetMenuState(mnuTray_, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0) return;
  Shell& shell = *shell_;
  switch (id) {
    case kMnuTrayLog:
      shell.Guarded([&] { shell.ShowLog(); });
      break;
    case kMnuTrayUpdate:
      shell.Guarded([&] { shell.OpenUpgradePage(); });
      break;
    case kMnuTrayFlush:
      shell.Guarded([&] { shell.Refresh(); });
      break;
    case kMnuTrayStop:
      shell.Guarded([&] { shell.Stop(); });
      break;
    case kMnuTraySetup:
      shell.Guarded([&] { shell.ShowSettings(); });
      break;
    case kMnuTrayHelp:
      shell.Guarded([&] { shell.OpenHelpPage(); });
      break;
    case kMnuTrayAbout:
      shell.Guarded([&] { shell.ShowAbout(); });
      break;
    case kMnuTrayQuit:
      shell.Guarded([&] { shell.Quit(); });
      break;
    default:
      break;
  }
}

LRESULT frmMain::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // Explorer restarted: the new taskbar knows nothing of the icon; add it again as it was.
    if (iconAdded_) ::Shell_NotifyIconA(NIM_ADD, &trayIconData_);
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (lParam == 0) RunItem(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kWatchTimerId && shell_ != nullptr) {
        shell_->Guarded([this] { shell_->OnWatchTick(); });
      } else if (wParam == kEarlyCheckTimerId && shell_ != nullptr) {
        ::KillTimer(hwnd_, kEarlyCheckTimerId);
        shell_->Guarded(
            [this] { ArmEarlyCheck(shell_->RunEarlyCheck(std::chrono::steady_clock::now())); });
      }
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK frmMain::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->hwnd_ = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<frmMain*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || message == WM_NCDESTROY) {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  return self->OnMessage(window, message, wParam, lParam);
}

LRESULT CALLBACK frmMain::TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<frmMain*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->previousWndProc_ == nullptr) {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == TrayRecord::kCallbackMessage) {
    // The second parameter names the mouse event on the icon; the icon id is not examined.
    if (lParam == WM_RBUTTONUP) {
      self->ShowTrayMenu();
      return 0;
    }
    if (lParam == WM_LBUTTONDBLCLK) {
      if (self->shell_ != nullptr) self->shell_->Guarded([self] { self->shell_->ShowSettings(); });
      return 0;
    }
  }
  return ::CallWindowProcA(self->previousWndProc_, window, message, wParam, lParam);
}

}  // namespace quorvix::win32
