#include "headless/headless_desktop.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "platform/address_watch.h"
#include "platform/stop_signal.h"
#include "shell/shell.h"

namespace quorvix {

void HeadlessDesktop::ShowMessage(std::string_view text, std::string_view title, MessageIcon) {
  err_ << title << ": " << text << std::endl;
}

void HeadlessDesktop::EndProcess() {
  std::cout.flush();
  err_.flush();
  std::_Exit(1);
}

void HeadlessDesktop::SetWatchTimer(bool enabled) { timerOn_ = enabled; }

void HeadlessDesktop::ShowWindow(Window window) {
  if (window != Window::Settings) return;  // the log goes to standard output anyway
  wantedSettings_ = true;
  err_ << "没有设置要解析的域名. 请先用 \"quorvixddnsd add 域名\" 添加域名及其管理密码."
       << std::endl;
  // Closed at once, as a cancelled dialog: the start-up goes on without domains.
  if (state_ != nullptr) state_->setupWaiting = false;
}

void HeadlessDesktop::ProcessEvents() {
  // A stop signal during the start-up's waits ends the program at once, after the quit lines.
  if (!stopRequested_ && platform::StopRequested()) {
    stopRequested_ = true;
    if (shell_ != nullptr) shell_->Quit();
    std::cout.flush();
    std::exit(0);
  }
}

void HeadlessDesktop::RunUntilStopped(Shell& shell, std::chrono::milliseconds tick,
                                      platform::AddressWatch& addresses) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + tick;
  while (!quitDone_) {
    const std::optional<Clock::time_point> early = shell.EarlyCheckDue();
    // Asleep until the minute tick, the early check, a notification or a stop.
    const auto wake = timerOn_ ? std::min(next, early.value_or(next))
                               : early.value_or(Clock::now() + std::chrono::hours(24));
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
    const platform::Woken woken =
        platform::WaitForStopOr(addresses.waitable(), std::max(left, std::chrono::milliseconds(0)));
    if (woken == platform::Woken::Stop) {
      stopRequested_ = true;
      shell.Quit();
      break;
    }
    if (woken == platform::Woken::Ready && addresses.TakeChanges()) {
      shell.Guarded([&] { shell.AddressesChanged(Clock::now()); });
    }
    if (early && Clock::now() >= *early) {
      shell.Guarded([&] { shell.RunEarlyCheck(Clock::now()); });
    }
    if (timerOn_ && Clock::now() >= next) {
      shell.Guarded([&shell] { shell.OnWatchTick(); });
      next += tick;
    } else if (!timerOn_) {
      next = Clock::now() + tick;
    }
  }
}

}  // namespace quorvix
