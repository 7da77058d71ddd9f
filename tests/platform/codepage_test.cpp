#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/utf8.h"

namespace quorvix::platform {
namespace {

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
    if ((length = Utf8SequenceLength(text, pos)) == 0) return false;
  }
  return true;
}

std::string AllAscii() {
  std::string ascii;
  for (int c = 0; c < 128; ++c) ascii.push_back(static_cast<char>(c));
  return ascii;
}

struct EncodeCase {
  const char* name;
  std::string utf8, bytes;
  std::size_t characters, unmappable, doubleByte;
};
class EncodeTable : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTable, GivesBytesAndCounts) {
  const EncodeCase& c = GetParam();
  const Cp936Text encoded = EncodeCp936(c.utf8);
  EXPECT_EQ(encoded.bytes, c.bytes);
  EXPECT_EQ(encoded.characters, c.characters);
  EXPECT_EQ(encoded.unmappable, c.unmappable);
  EXPECT_EQ(encoded.doubleByte, c.doubleByte);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeTable,
    ::testing::Values(EncodeCase{"Ascii", AllAscii(), AllAscii(), 128, 0, 0},
                      EncodeCase{"Chinese", "中文", "\xD6\xD0\xCE\xC4", 2, 0, 2},
                      // Windows' table gives the euro sign the single byte 0x80.
                      EncodeCase{"Euro", "\u20AC", "\x80", 1, 0, 0},
                      EncodeCase{"DotAndDashes", "\u00B7\u2014\u2015", "\xA1\xA4\xA1\xAA\xA8\x44",
                                 3, 0, 3},
                      EncodeCase{"Emoji", "\U0001F600", "?", 1, 1, 0},
                      EncodeCase{"Thai", "x\u0E01y", "x?y", 3, 1, 0},
                      EncodeCase{"StrayContinuation", "\x80", "?", 1, 1, 0},
                      EncodeCase{"Truncated", "a\xE4\xB8中", "a??\xD6\xD0", 4, 2, 1},
                      EncodeCase{"Overlong", "\xC0\xAF", "??", 2, 2, 0},
                      EncodeCase{"Surrogate", "\xED\xA0\x80", "???", 3, 3, 0},
                      EncodeCase{"AboveUnicode", "\xF4\x90\x80\x80", "????", 4, 4, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DecodeCp936, Table) {
  const struct {
    std::string bytes, utf8;
  } cases[] = {{AllAscii(), AllAscii()},     {"\xD6\xD0\xCE\xC4", "中文"},
               {"\x80", "\u20AC"},           {"a\xD6", "a\uFFFD"},  // lead byte cut off at the end
               {"\x81\x7F!", "\uFFFD\x7F!"},                        // no such trail byte
               {"\xFF!", "\uFFFD!"}};
  for (const auto& c : cases) EXPECT_EQ(DecodeCp936(c.bytes), c.utf8) << c.bytes;
}

// Mappings that only go one way would change a password between typing and signing.
TEST(DecodeCp936, TwoByteCodesRoundTrip) {
  std::size_t defined = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string text = DecodeCp936(code);
      ASSERT_TRUE(IsValidUtf8(text));
      if (text.find("\uFFFD") != std::string::npos) continue;
      ++defined;
      const Cp936Text back = EncodeCp936(text);
      ASSERT_EQ(back.bytes, code) << std::hex << lead << trail;
      ASSERT_EQ(back.characters, 1u);
      ASSERT_EQ(back.doubleByte, 1u);
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

TEST(Utf8, LengthsTable) {
  const struct {
    std::string text;
    std::size_t characters, firstSequence;
  } cases[] = {{"a中b", 3, 1},
               {"中", 1, 3},
               {"\u00E9", 1, 2},
               {"\U0001F600", 1, 4},
               {"\x80\x80", 2, 0},
               {"\xE4\xB8", 2, 0},
               {"\xC0\xAF", 2, 0},
               {"\xE0\x80\x80", 3, 0},
               {"\xED\xA0\x80", 3, 0},
               {"\xF0\x8F\xBF\xBF", 4, 0},
               {"\xF5\x80\x80\x80", 4, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8Length(c.text), c.characters) << c.text;
    EXPECT_EQ(Utf8SequenceLength(c.text, 0), c.firstSequence) << c.text;
  }
}

}  // namespace
}  // namespace quorvix::platform
