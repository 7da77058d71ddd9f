#include "platform/clock.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>
#include <tuple>

namespace quorvix::platform {
namespace {

// Exactly midnight (milliseconds aside) shows the date alone, as the desktop's format does.
TEST(Clock, TimestampAndSecondsTable) {
  const std::tuple<LocalTime, std::string, double> cases[] = {
      {{2026, 12, 6, 9, 3, 7, 250}, "2026-12-6 9:03:07", 32587.25},
      {{2026, 1, 1, 0, 0, 0, 500}, "2026-1-1", 0.5},
      {{2026, 1, 1, 0, 0, 1, 0}, "2026-1-1 0:00:01", 1},
      {{2026, 1, 1, 0, 1, 0, 0}, "2026-1-1 0:01:00", 60},
      {{2025, 10, 31, 23, 0, 0, 999}, "2025-10-31 23:00:00", 82800.999}};
  for (const auto& [time, text, seconds] : cases) {
    EXPECT_EQ(FormatLogTimestamp(time), text);
    EXPECT_DOUBLE_EQ(SecondsSinceMidnight(time), seconds) << text;
  }
}

// The C library's local time read just before and just after must enclose the clock's reading.
TEST(Clock, SystemClockShowsTheLocalTime) {
  const auto libraryNow = [] {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
#ifdef _WIN32
    ::localtime_s(&t, &now);
#else
    ::localtime_r(&now, &t);
#endif
    return std::array{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  };
  const auto before = libraryNow();
  const LocalTime now = SystemClock().Now();
  const std::array fields{now.year, now.month, now.day, now.hour, now.minute, now.second};
  EXPECT_LE(before, fields);
  EXPECT_LE(fields, libraryNow());
  EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999) << now.millisecond;
}

}  // namespace
}  // namespace quorvix::platform
