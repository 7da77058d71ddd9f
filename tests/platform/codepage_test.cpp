#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "platform/utf8.h"

namespace quorvix::platform {
namespace {

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
    if ((length = Utf8SequenceLength(text, pos)) == 0) return false;
  }
  return true;
}

const std::string kAscii = [] {
  std::string ascii;
  for (int c = 0; c < 128; ++c) ascii.push_back(static_cast<char>(c));
  return ascii;
}();

// Each malformed UTF-8 byte is one unmappable character: a stray continuation, overlong forms
// of two, three and four bytes, a surrogate, a code above U+10FFFF, a lead byte past F4, and a
// sequence cut off by the end.
const std::string kMalformed =
    "\x80\xC0\xAF\xE0\x80\x80\xF0\x8F\xBF\xBF\xED\xA0\x80\xF4\x90\x80\x80\xF5\x80\x80\x80\xE4\xB8";

TEST(EncodeCp936, GivesBytesAndCounts) {
  // UTF-8, bytes, characters, unmappable, double-byte.
  const std::tuple<std::string, std::string, std::size_t, std::size_t, std::size_t> cases[] = {
      {kAscii, kAscii, 128, 0, 0},
      {"中文", "\xD6\xD0\xCE\xC4", 2, 0, 2},
      {"\u20AC", "\x80", 1, 0, 0},  // Windows' table gives the euro sign one byte
      {"\u00B7\u2014\u2015", "\xA1\xA4\xA1\xAA\xA8\x44", 3, 0, 3},
      {"x\u0E01y\U0001F600", "x?y?", 4, 2, 0},  // Thai and an emoji have no code
      {"a\xE4\xB8中", "a??\xD6\xD0", 4, 2, 1},  // a cut sequence costs no following character
      {kMalformed, std::string(23, '?'), 23, 23, 0},
  };
  for (const auto& [utf8, bytes, characters, unmappable, doubleByte] : cases) {
    const Cp936Text e = EncodeCp936(utf8);
    EXPECT_EQ(std::tie(e.bytes, e.characters, e.unmappable, e.doubleByte),
              std::tie(bytes, characters, unmappable, doubleByte))
        << utf8;
    EXPECT_EQ(Utf8Length(utf8), characters) << utf8;
  }
}

TEST(DecodeCp936, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {kAscii + "\xD6\xD0\xCE\xC4\x80", kAscii + "中文\u20AC"},
      {"a\xD6", "a\uFFFD"},          // a lead byte cut off at the end
      {"\x81\x7F!", "\uFFFD\x7F!"},  // no such trail byte: only the lead is lost
      {"\xFF!", "\uFFFD!"}};
  for (const auto& [bytes, utf8] : cases) EXPECT_EQ(DecodeCp936(bytes), utf8) << bytes;
}

// Mappings that only go one way would change a password between typing and signing.
TEST(DecodeCp936, TwoByteCodesRoundTrip) {
  std::size_t defined = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string text = DecodeCp936(code);
      ASSERT_TRUE(IsValidUtf8(text));
      if (trail == 0x7F || text.find("\uFFFD") != std::string::npos) continue;
      ++defined;
      const Cp936Text back = EncodeCp936(text);
      ASSERT_EQ(std::tie(back.bytes, back.characters, back.doubleByte),
                std::tuple(code, std::size_t{1}, std::size_t{1}))
          << std::hex << lead << trail;
    }
  }
  EXPECT_GT(defined, 21000u);  // GBK has 21886 codes
}

TEST(DecodeCp936, RandomBytesGiveValidUtf8) {
  std::mt19937 random(936);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
  for (int i = 0; i < 5000; ++i) {
    std::string bytes(static_cast<std::size_t>(length(random)), '\0');
    for (char& b : bytes) b = static_cast<char>(byte(random));
    const std::string text = DecodeCp936(bytes);
    ASSERT_TRUE(IsValidUtf8(text)) << "input " << i;
    // A character takes at most two bytes, so no byte may vanish without a trace.
    ASSERT_GE(Utf8Length(text), (bytes.size() + 1) / 2) << "input " << i;
  }
}

}  // namespace
}  // namespace quorvix::platform
