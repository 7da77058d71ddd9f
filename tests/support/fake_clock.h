// A clock that only sleeps move on: past midnight the day moves on, never the month.
#pragma once

#include "platform/clock.h"

namespace quorvix::testing {

class FakeClock : public platform::Clock {
 public:
  explicit FakeClock(platform::LocalTime start = {2008, 6, 12, 14, 5, 9, 0}) : now_(start) {}
  platform::LocalTime Now() override { return now_; }
  void Set(platform::LocalTime time) { now_ = time; }
  void Sleep(std::chrono::milliseconds duration) override {
    slept += duration;
    const long long ms = ((now_.hour * 60LL + now_.minute) * 60 + now_.second) * 1000 +
                         now_.millisecond + duration.count();
    now_.day += static_cast<int>(ms / 86'400'000);
    now_.hour = static_cast<int>(ms / 3'600'000 % 24);
    now_.minute = static_cast<int>(ms / 60'000 % 60);
    now_.second = static_cast<int>(ms / 1000 % 60);
    now_.millisecond = static_cast<int>(ms % 1000);
  }

  std::chrono::milliseconds slept{0};

 private:
  platform::LocalTime now_;
};

}  // namespace quorvix::testing
