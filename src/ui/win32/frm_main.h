// The hidden main window: it owns the notification icon, the window hook, the tray menu and
// the watch timer, and is the Win32 implementation of the Desktop port.
#pragma once

#include <windows.h>
// The shell's API needs the window types first.
#include <shellapi.h>

#include <chrono>
#include <functional>
#include <optional>

#include "base/desktop.h"
#include "base/program_state.h"
#include "platform/address_watch.h"

namespace quorvix {

class Shell;

namespace win32 {

// The tray menu's item ids, in the menu's order.
enum TrayItem : int {
  kMnuTrayLog = 500,
  kMnuTrayUpdate,
  kMnuTrayFlush,
  kMnuTrayStop,
  kMnuTraySetup,
  kMnuTrayHelp,
  kMnuTrayAbout,
  kMnuTrayQuit,
};

// The hidden window's class: a helper finds the running program by it.
inline constexpr char kMainClassName[] = "quorvixDDNS_frmMain";

class frmMain : public Desktop {
 public:
  frmMain();
  ~frmMain() override;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // Connects the menu, the icon and the timer to the shell; both must outlive the window.
  void Attach(Shell& shell, ProgramState& state);

  using WindowOpener = std::function<void(Window)>;
  void SetWindowHandlers(WindowOpener show, WindowOpener unload);

  // Brings the watch's check forward when `watch` reports a change of the machine's
  // addresses; the message loop calls TakeAddressChanges when its handle is set. The watch
  // must outlive the window.
  void WatchAddresses(platform::AddressWatch& watch) { addresses_ = &watch; }
  void TakeAddressChanges();

  HWND hwnd() const { return hwnd_; }
  HMENU trayMenu() const { return mnuTray_; }
  HICON image(TrayImage which) const { return images_[static_cast<int>(which)]; }

  // Desktop
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;
  void EndProcess() override;
  void SendTrayRequest(TrayRequest request, const TrayRecord& record) override;
  void InstallTrayHook() override;
  void RemoveTrayHook() override;
  void SetQuitEnabled(bool enabled) override;
  void SetWatchTimer(bool enabled) override;
  void ShowWindow(Window window) override;
  void UnloadWindow(Window window) override;
  void UnloadMain() override;
  void ProcessEvents() override;
  void WaitForEvents() override;
  void OpenWebPage(const std::string& url) override;

 private:
  static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void ShowTrayMenu();
  void RunItem(int id);
  void ArmEarlyCheck(std::optional<std::chrono::steady_clock::time_point> due);

  HWND hwnd_ = nullptr;
  HMENU mnuTray_ = nullptr;
  HICON images_[2] = {};  // TrayIcon: 0 colour, 1 grey
  NOTIFYICONDATAA trayIconData_{};
  WNDPROC previousWndProc_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool iconAdded_ = false;
  Shell* shell_ = nullptr;
  ProgramState* state_ = nullptr;
  platform::AddressWatch* addresses_ = nullptr;
  WindowOpener showWindow_;
  WindowOpener unloadWindow_;
};

}  // namespace win32
}  // namespace quorvix
