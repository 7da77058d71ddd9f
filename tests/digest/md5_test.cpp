#include "digest/md5.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvix {
namespace {

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  while (times-- > 0) out += unit;
  return out;
}

// md5sum's digests; an emoji is "?" in code page 936, the euro sign 0x80.
TEST(Md5, DigestsTheSingleByteEncoding) {
  const std::string az = Repeat("abcdefghijklmnopqrstuvwxyz", 5);
  const std::pair<std::string, const char*> cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {std::string(32767, 'a'), "F92977CA3046643F0E26DBCF945EC7DF"},
      {Repeat("\U0001F600", 32767), "ABE8D97935ABB33A0C71B1B450F05B59"},
      {"\u20AC", "8D39DD7EEF115EA6975446EF4082951F"},
      {az.substr(0, 55), "0D7AE056B2F015CD7DC67494EFD658F1"},
      {az.substr(0, 56), "31FCFB5165169EB55898E7E4CF34D19A"},
      {az.substr(0, 64), "A2EAF6295C32ADC403865FD96A2F182B"},
      {az.substr(0, 120), "62AF9B597A9F55E16AB2B897387FC052"}};
  md5 digest;
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(digest.DigestStrToHexStr(text), expected) << text.size() << " bytes";
  }
  digest.MD5Init();
  EXPECT_EQ(digest.GetValues(), "0123456789ABCDEFFEDCBA9876543210");
  EXPECT_EQ(md5().GetValues(), std::string(32, '0'));
}

// Thrown with their types in the middle of a message; MD5Final's limit would take 256 MiB.
TEST(Md5, FailuresAreTypedAndTheNextDigestStartsAfresh) {
  const std::vector<std::uint8_t> big(32768, 'x');
  md5 digest;
  digest.MD5Init();
  digest.MD5Update(10, big);
  EXPECT_THROW(digest.MD5Update(32768, big), std::overflow_error);
  EXPECT_THROW(digest.MD5Update(32767, std::span(big).first(32766)), std::out_of_range);
  EXPECT_THROW(digest.MD5Update(-1, big), std::out_of_range);
  EXPECT_THROW(digest.DigestStrToHexStr(std::string(32768, 'a')), std::overflow_error);
  EXPECT_THROW(digest.DigestStrToHexStr(Repeat("\U0001F600", 32768)), std::overflow_error);
  EXPECT_THROW(digest.DigestStrToHexStr("a\u4E2D"), std::overflow_error);  // two bytes
  EXPECT_THROW(digest.DigestFileToHexStr("/nonexistent/quorvix/md5"), std::system_error);
  EXPECT_THROW(digest.DigestFileToHexStr("."), std::system_error);  // opens, cannot read
  EXPECT_EQ(digest.DigestStrToHexStr("abc"), "900150983CD24FB0D6963F7D28E17F72");
  // Bytes (31 * i + 7) mod 256, checked with md5sum: past the 64 KiB read, and past 2 MiB, where
  // the bit count reaches its fourth byte.
  testing::TempDir dir;
  std::string bytes((1 << 21) + 65537, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  testing::WriteFile(dir / "input.bin", bytes);
  EXPECT_EQ(digest.DigestFileToHexStr(dir / "input.bin"), "B5AA20E57D34280C3A10A51AC481F447");
}

}  // namespace
}  // namespace quorvix
