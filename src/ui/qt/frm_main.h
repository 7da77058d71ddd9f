// The hidden main window: it owns the tray icon, the tray menu and the watch timer, and is the
// Qt implementation of the Desktop port.
#pragma once

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

#include "base/desktop.h"
#include "base/program_state.h"

namespace quorvix {

class Shell;
namespace platform {
class AddressWatch;
}

class frmMain : public QWidget, public Desktop {
  Q_OBJECT

 public:
  explicit frmMain(QWidget* parent = nullptr);
  ~frmMain() override;

  // Connects the menu, the icon and the timer to the shell. Both must outlive the window.
  void Attach(Shell& shell, ProgramState& state);

  // Opens and closes the other windows; until they exist, stand-ins that close at once.
  using WindowOpener = std::function<void(Window)>;
  void SetWindowHandlers(WindowOpener show, WindowOpener unload);

  QMenu* trayMenu() const { return mnuTray_; }
  QSystemTrayIcon* trayIcon() const { return trayIcon_; }
  QTimer* watchTimer() const { return tmCheckIp_; }
  QTimer* earlyCheckTimer() const { return earlyCheck_; }

  // Brings the watch's check forward when `watch` reports a change of the machine's
  // addresses. The watch must outlive the window; call after Attach.
  void WatchAddresses(platform::AddressWatch& watch);

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

 signals:
  // Emitted whenever the logic asks for a window (the tests watch the start-up through it).
  void windowRequested(quorvix::Window window);

 private:
  QAction* AddItem(const char* name, const char* caption, std::function<void(Shell&)> handler);
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void ArmEarlyCheck(std::optional<std::chrono::steady_clock::time_point> due);

  Shell* shell_ = nullptr;
  ProgramState* state_ = nullptr;
  QSystemTrayIcon* trayIcon_;
  QMenu* mnuTray_;
  QAction* mnuTrayQuit_ = nullptr;
  QTimer* tmCheckIp_;
  QTimer* earlyCheck_;
  QIcon images_[2];  // TrayIcon: 0 colour, 1 grey
  QMetaObject::Connection hook_;
  WindowOpener showWindow_;
  WindowOpener unloadWindow_;
};

}  // namespace quorvix
