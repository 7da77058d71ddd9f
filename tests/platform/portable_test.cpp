#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/utf8.h"

namespace quorvix::platform {
namespace {

// Each malformed UTF-8 byte (stray, overlong, surrogate, past U+10FFFF, cut off) is one
// unmappable character, and so is, decoding, a lone lead byte.
TEST(Cp936, EncodeAndDecode) {
  const std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t> cases[] = {
      // UTF-8, bytes, characters, unmappable, double-byte
      {"A~\x7F中文\u20AC", "A~\x7F\xD6\xD0\xCE\xC4\x80", 6, 0, 2},
      {"\u00B7\u2014\u2015", "\xA1\xA4\xA1\xAA\xA8\x44", 3, 0, 3},
      {"x\u0E01y\U0001F600", "x?y?", 4, 2, 0},
      {"\x80\xC0\xAF\xE0\x80\x80\xF0\x8F\xBF\xBF\xED\xA0\x80\xF4\x90\x80\x80\xF5\xE4\xB8中",
       std::string(20, '?') + "\xD6\xD0", 21, 20, 1}};
  for (const auto& [utf8, bytes, characters, unmappable, doubleByte] : cases) {
    const Cp936Text e = EncodeCp936(utf8);
    EXPECT_EQ(std::tie(e.bytes, e.characters, e.unmappable, e.doubleByte),
              std::tie(bytes, characters, unmappable, doubleByte));
    EXPECT_EQ(Utf8Length(utf8), characters);
    EXPECT_TRUE(unmappable > 0 || DecodeCp936(bytes) == utf8) << utf8;
  }
  EXPECT_EQ(DecodeCp936("a\x81\x7F\xFF!\xD6"), "a\uFFFD\x7F\uFFFD!\uFFFD");
}

// Exactly midnight (milliseconds aside) shows the date alone, as the desktop's format does.
TEST(Clock, TimestampAndSeconds) {
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

}  // namespace
}  // namespace quorvix::platform
