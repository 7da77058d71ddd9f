// The application shell's logic: the start-up sequence, the tray menu's commands, the public-IP
// watch and quitting. Toolkit-free: it acts through the Desktop port.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/desktop.h"
#include "base/program_state.h"
#include "platform/clock.h"
#include "protocol/command_runner.h"
#include "settings/event_log.h"
#include "settings/store.h"
#include "shell/early_check.h"
#include "shell/tray_status.h"

namespace quorvix {

// Everything the shell works with; each part must outlive the shell.
struct ShellServices {
  ProgramState& state;
  SettingsStore& store;
  EventLog& log;
  CommandRunner& runner;
  Desktop& desktop;
  platform::Clock& clock;
};

// The web pages of the maker's site.
inline constexpr std::string_view kUpgradePage = "/ddns/default.asp#3";
inline constexpr std::string_view kHelpPage = "/ddns/howuse.asp";
inline constexpr std::string_view kPurchasePage = "/ddns/register.asp";

// "http://" + the maker's web host + path.
std::string WebPageAddress(std::string_view path);

class Shell {
 public:
  explicit Shell(ShellServices services);

  // The start-up, run once from the main window's load: second-instance notice, settings,
  // version and address checks, the settings dialog when no domain is configured, up to three
  // update attempts ten seconds apart, the outcome in the tray, the watch. When it breaks off
  // by an exception, Quit is enabled and the tray shows the failure state before the exception
  // goes on to the caller.
  void RunStartup(bool previousInstance);
  void InitApp();
  // Waits about `seconds` while processing events; ends early when the day wraps at midnight.
  void WaitSeconds(std::int16_t seconds);

  // The tray menu's commands. Refresh and Stop return whether their command succeeded.
  bool Refresh();
  bool Stop();
  void OpenUpgradePage();
  void OpenHelpPage();
  void ShowLog();
  void ShowSettings();
  void ShowAbout();
  void Quit();

  // The quit sequence of the settings dialog: the icon goes, the stop line is logged, and the
  // process ends at once.
  void QuitAtOnce();

  // One tick of the watch timer (every minute while it runs).
  void OnWatchTick();

  // The machine's addresses changed at `now`. The early check of the public address is due once
  // the notifications settle, and runs only while the watch runs; a change seen before the
  // watch starts (during the start-up) is kept for it. Returns when the check is due, for the
  // front-end's timer; nothing while the watch is off.
  using SteadyTime = EarlyCheck::Clock::time_point;
  std::optional<SteadyTime> AddressesChanged(SteadyTime now);
  std::optional<SteadyTime> EarlyCheckDue() const;
  // The front-end's timer for the early check fired at `now`: runs the check when it is due
  // and the watch runs. Returns when to call again (a later notification moved the check), or
  // nothing.
  std::optional<SteadyTime> RunEarlyCheck(SteadyTime now);

  // Runs an event handler; an exception escaping it is reported and the program goes on.
  void Guarded(const std::function<void()>& handler);

  TrayStatus& tray() { return tray_; }

 private:
  void RunStartupSteps(bool previousInstance);
  void LogStopLine();
  void SetTimer(bool enabled);
  // The watch's check: GETIP, then START when the address changed or the last update failed.
  // `why`, when given, is logged as a verbose line first.
  void CheckPublicIp(std::string_view why);

  ShellServices s_;
  TrayStatus tray_;
  bool watchOn_ = false;
  bool checking_ = false;
  EarlyCheck early_;
};

}  // namespace quorvix
