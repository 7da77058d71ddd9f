#include "platform/clock.h"

#include <cstdio>

namespace quorvix::platform {

double SecondsSinceMidnight(const LocalTime& time) {
  return time.hour * 3600.0 + time.minute * 60.0 + time.second + time.millisecond / 1000.0;
}

std::string FormatLogTimestamp(const LocalTime& time) {
  std::string text =
      std::to_string(time.year) + "-" + std::to_string(time.month) + "-" + std::to_string(time.day);
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return text;
  char clock[16];
  std::snprintf(clock, sizeof clock, " %d:%02d:%02d", time.hour, time.minute, time.second);
  return text + clock;
}

}  // namespace quorvix::platform
