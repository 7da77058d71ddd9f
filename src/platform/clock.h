// The time of day and sleeping, behind a seam so that waits of seconds are tested in
// microseconds.
#pragma once

#include <chrono>
#include <string>

namespace quorvix::platform {

// A local calendar time, as the desktop's clock shows it.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// The machine's own clock and sleep.
class SystemClock final : public Clock {
 public:
  LocalTime Now() override;
  void Sleep(std::chrono::milliseconds duration) override;
};

// Seconds since local midnight, with the fraction.
double SecondsSinceMidnight(const LocalTime& time);

// The log's time stamp: the short date and long time of a Simplified Chinese desktop,
// "yyyy-M-d H:mm:ss"; at exactly midnight (00:00:00) the date stands alone.
std::string FormatLogTimestamp(const LocalTime& time);

}  // namespace quorvix::platform
