#include <poll.h>

#include <csignal>

#include "platform/stop_signal.h"

namespace quorvix::platform {
namespace {

volatile std::sig_atomic_t stopArrived = 0;

void OnStopSignal(int) { stopArrived = 1; }

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a wait must break off
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  const sigset_t set = StopSignalSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

sigset_t StopWaitMask() {
  sigset_t mask;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  sigdelset(&mask, SIGTERM);
  sigdelset(&mask, SIGINT);
  return mask;
}

Woken WaitForStopOr(Waitable extra, std::chrono::milliseconds timeout) {
  if (stopArrived) return Woken::Stop;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timespec wait{static_cast<time_t>(seconds.count()),
                static_cast<long>(std::chrono::nanoseconds(timeout - seconds).count())};
  const sigset_t mask = StopWaitMask();
  // ppoll ignores a negative descriptor: without one it just sleeps, signals let through.
  pollfd entry{extra, POLLIN, 0};
  const int ready = ::ppoll(&entry, 1, &wait, &mask);
  if (stopArrived) return Woken::Stop;
  return ready > 0 ? Woken::Ready : Woken::Timeout;
}

bool WaitForStop(std::chrono::milliseconds timeout) {
  return WaitForStopOr(kNoWaitable, timeout) == Woken::Stop;
}

}  // namespace quorvix::platform
