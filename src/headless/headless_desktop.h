// The Desktop of the headless client: no windows and no tray. Message boxes go to standard
// error, the settings dialog cannot open (the user is told how to add a domain), and the watch
// timer is a deadline the main loop waits for, together with the stop signals.
#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>

#include "base/desktop.h"
#include "base/program_state.h"

namespace quorvix {

class Shell;
namespace platform {
class AddressWatch;
}

class HeadlessDesktop final : public Desktop {
 public:
  // `err` receives the message boxes.
  explicit HeadlessDesktop(std::ostream& err) : err_(err) {}

  // Runs the watch until a stop signal (SIGTERM, SIGINT) arrives, then the quit sequence.
  // `tick` is the timer's interval (a minute; tests shorten it). A change that `addresses`
  // reports brings the watch's check forward.
  void RunUntilStopped(Shell& shell, std::chrono::milliseconds tick,
                       platform::AddressWatch& addresses);

  // Set when the start-up wanted the settings dialog: no domain is configured.
  bool wantedSettings() const { return wantedSettings_; }
  bool stopRequested() const { return stopRequested_; }
  bool quitDone() const { return quitDone_; }
  // The shell that quits on a stop signal and the state it runs on; both must outlive this.
  void Attach(Shell& shell, ProgramState& state) {
    shell_ = &shell;
    state_ = &state;
  }

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;
  void EndProcess() override;
  void SendTrayRequest(TrayRequest, const TrayRecord&) override {}
  void InstallTrayHook() override {}
  void RemoveTrayHook() override {}
  void SetQuitEnabled(bool enabled) override { quitEnabled_ = enabled; }
  void SetWatchTimer(bool enabled) override;
  void ShowWindow(Window window) override;
  void UnloadWindow(Window) override {}
  void UnloadMain() override { quitDone_ = true; }
  void ProcessEvents() override;
  void WaitForEvents() override { ProcessEvents(); }
  void OpenWebPage(const std::string&) override {}

 private:
  std::ostream& err_;
  ProgramState* state_ = nullptr;
  Shell* shell_ = nullptr;
  bool timerOn_ = false;
  bool quitEnabled_ = true;
  bool wantedSettings_ = false;
  bool stopRequested_ = false;
  bool quitDone_ = false;
};

}  // namespace quorvix
