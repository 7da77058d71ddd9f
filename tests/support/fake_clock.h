// A clock that stands still until told, and whose sleeps only move it forward.
#pragma once

#include <chrono>

#include "platform/clock.h"

namespace quorvix::testing {

class FakeClock : public platform::Clock {
 public:
  explicit FakeClock(platform::LocalTime start = {2008, 6, 12, 14, 5, 9, 0}) : now_(start) {}

  platform::LocalTime Now() override { return now_; }
  void Sleep(std::chrono::milliseconds duration) override {
    slept += duration;
    Advance(duration);
  }

  void Set(platform::LocalTime time) { now_ = time; }

  // Moves the time of day forward; past midnight the date moves on by one day (the calendar
  // month is not rolled: tests stay within a month).
  void Advance(std::chrono::milliseconds duration) {
    long long ms = ((now_.hour * 60LL + now_.minute) * 60 + now_.second) * 1000 + now_.millisecond +
                   duration.count();
    constexpr long long kDay = 24LL * 3600 * 1000;
    now_.day += static_cast<int>(ms / kDay);
    ms %= kDay;
    now_.hour = static_cast<int>(ms / 3600000);
    now_.minute = static_cast<int>(ms / 60000 % 60);
    now_.second = static_cast<int>(ms / 1000 % 60);
    now_.millisecond = static_cast<int>(ms % 1000);
  }

  std::chrono::milliseconds slept{0};

 private:
  platform::LocalTime now_;
};

}  // namespace quorvix::testing
