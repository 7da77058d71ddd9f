// When to look at the public address after the machine's addresses changed. A new lease, a
// redial or a switch of network arrives as a burst of notifications (the link, the address, the
// routes) over a second or two, and the way out may not work until the last of them: the check
// waits until the notifications have been quiet for kSettle, and never longer than kLongest
// after the first one, so a machine whose routes keep changing is still checked.
#pragma once

#include <chrono>
#include <optional>

namespace quorvix {

class EarlyCheck {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kSettle{2000};
  static constexpr std::chrono::milliseconds kLongest{10000};

  // A notification arrived at `now`.
  void Notify(Clock::time_point now);
  // Forgets what is pending: a check ran, or the watch went off.
  void Clear() { first_.reset(); }
  // When the pending check is due; nothing when none is pending.
  std::optional<Clock::time_point> due() const;

  // The whole milliseconds from now until `due`, none when it has passed: a timer's interval.
  static std::chrono::milliseconds Until(Clock::time_point due);

 private:
  std::optional<Clock::time_point> first_;
  Clock::time_point last_;
};

}  // namespace quorvix
