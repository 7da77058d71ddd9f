#include "platform/clock.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>

namespace quorvix::platform {
namespace {

TEST(Clock, TimestampAndSecondsTable) {
  const struct {
    LocalTime time;
    std::string text;
    double seconds;
  } cases[] = {{{2008, 6, 12, 14, 5, 9, 0}, "2008-6-12 14:05:09", 50709},
               {{2026, 12, 6, 9, 3, 7, 250}, "2026-12-6 9:03:07", 32587.25},
               // Exactly midnight shows the date alone, as the desktop's format does.
               {{2026, 1, 1, 0, 0, 0, 0}, "2026-1-1", 0},
               {{2026, 1, 1, 0, 0, 0, 500}, "2026-1-1", 0.5},
               {{2026, 1, 1, 0, 0, 1, 0}, "2026-1-1 0:00:01", 1},
               {{2026, 1, 1, 0, 1, 0, 0}, "2026-1-1 0:01:00", 60},
               {{2025, 10, 31, 23, 59, 59, 999}, "2025-10-31 23:59:59", 86399.999}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatLogTimestamp(c.time), c.text);
    EXPECT_DOUBLE_EQ(SecondsSinceMidnight(c.time), c.seconds) << c.text;
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
  SystemClock clock;
  const auto before = libraryNow();
  const LocalTime now = clock.Now();
  const auto after = libraryNow();
  const std::array fields{now.year, now.month, now.day, now.hour, now.minute, now.second};
  EXPECT_LE(before, fields);
  EXPECT_LE(fields, after);
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.millisecond, 0);
  EXPECT_LE(now.millisecond, 999);
}

}  // namespace
}  // namespace quorvix::platform
