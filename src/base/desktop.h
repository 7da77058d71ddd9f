// The desktop as the program's logic sees it. The Qt front-end implements this port, the
// headless client has its own, and tests use a recording fake, so no logic below the views
// touches a toolkit.
#pragma once

#include <string>
#include <string_view>

namespace quorvix {

enum class MessageIcon { Information, Warning, Critical };

// The two images of the tray icon: the coloured emblem for a successful update, the grey one
// for connecting, failure and stop.
enum class TrayImage { Colour = 0, Grey = 1 };

// What the program tells the shell about its notification icon; every request carries the
// whole record.
struct TrayRecord {
  static constexpr int kIconId = 9702;
  static constexpr int kCallbackMessage = 9701;
  static constexpr int kFlagsValid = 7;  // callback message, icon and tip fields valid

  int flags = 0;
  TrayImage image = TrayImage::Grey;
  std::string tip;
};

enum class TrayRequest { Add, Modify, Delete };

// The program's windows besides the hidden main window.
enum class Window { Settings, LogViewer, About };

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box with a single OK button; returns when the user has closed it.
  virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;

  // Ends the process at once, without any clean-up. Real desktops do not return from it;
  // a test double records the call and returns, so callers must not rely on either.
  virtual void EndProcess() = 0;

  // The notification icon: add, modify or delete it with the record's image and tip.
  virtual void SendTrayRequest(TrayRequest request, const TrayRecord& record) = 0;

  // Mouse events on the icon reach the program (right-click: menu; left double-click:
  // settings) from InstallTrayHook until RemoveTrayHook.
  virtual void InstallTrayHook() = 0;
  virtual void RemoveTrayHook() = 0;

  // The tray menu's Quit item.
  virtual void SetQuitEnabled(bool enabled) = 0;

  // The public-IP watch timer (a tick every minute while on).
  virtual void SetWatchTimer(bool enabled) = 0;

  // Shows a window modeless, creating it when it is not open; an open one is brought forward.
  virtual void ShowWindow(Window window) = 0;

  // Closes a window if it is open.
  virtual void UnloadWindow(Window window) = 0;

  // Unloads the hidden main window: with no window left, the program ends normally.
  virtual void UnloadMain() = 0;

  // Processes the pending events once. While waiting for the settings dialog the start-up
  // calls WaitForEvents instead, which sleeps until at least one event has been handled.
  virtual void ProcessEvents() = 0;
  virtual void WaitForEvents() = 0;

  // Opens a web page in the user's browser; the outcome is not examined.
  virtual void OpenWebPage(const std::string& url) = 0;
};

}  // namespace quorvix
