#include "digest/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "support/temp_dir.h"

namespace {

using quorvix::md5;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

// Expected values are md5sum's: the RFC 1321 suite, `yes a` and `yes 😀` cut to 32,767
// characters (an emoji is one character, and "?" in code page 936), the euro sign's 0x80.
TEST(Md5Text, DigestsTheSingleByteEncoding) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {Repeat("1234567890", 8), "57EDF4A22BE3C955AC49DA2E2107B67A"},
      {std::string(32767, 'a'), "F92977CA3046643F0E26DBCF945EC7DF"},
      {Repeat("\U0001F600", 32767), "ABE8D97935ABB33A0C71B1B450F05B59"},
      {"\u20AC", "8D39DD7EEF115EA6975446EF4082951F"}};
  md5 digest;
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(digest.DigestStrToHexStr(text), expected) << text.size() << " bytes";
  }
  // Where the padding spills into another block: `yes abc...z | tr -d '\n' | head -c N`.
  const std::pair<std::size_t, const char*> padding[] = {
      {55, "0D7AE056B2F015CD7DC67494EFD658F1"},  {56, "31FCFB5165169EB55898E7E4CF34D19A"},
      {57, "FD62AFAF3AA1E2A52882CB464F5CCC4D"},  {63, "1B30C0670C15E7DA3C2BA7BCE77EBE99"},
      {64, "A2EAF6295C32ADC403865FD96A2F182B"},  {65, "EBA2CCE0CA8DF47E62414A736B3105A2"},
      {119, "B05187E08DA41FA3EF16BD56AFAAFD99"}, {120, "62AF9B597A9F55E16AB2B897387FC052"},
      {121, "AC6FA3571578E922AB77F3D08A1ED8C0"}, {128, "3E8C1CCBD71838EF3DF4B72E57FB9BF6"}};
  for (const auto& [length, expected] : padding) {
    const std::string text = Repeat("abcdefghijklmnopqrstuvwxyz", 5).substr(0, length);
    EXPECT_EQ(digest.DigestStrToHexStr(text), expected) << length;
  }
}

// Each piece is passed with the whole rest of the message behind it: reading past InputLen shows.
TEST(Md5Stream, RandomSplitsMatchOneShot) {
  std::mt19937 rng(1321);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 300; ++round) {
    const auto length = std::uniform_int_distribution<std::size_t>(0, 4000)(rng);
    std::vector<std::uint8_t> message(length);
    for (auto& b : message) b = static_cast<std::uint8_t>(byte(rng));
    md5 whole, pieces;  // one call, and pieces of 0 to 130 bytes
    whole.MD5Init();
    whole.MD5Update(static_cast<std::int32_t>(length), message);
    whole.MD5Final();
    pieces.MD5Init();
    for (std::size_t pos = 0; pos < length;) {
      const auto take =
          std::min(std::uniform_int_distribution<std::size_t>(0, 130)(rng), length - pos);
      pieces.MD5Update(static_cast<std::int32_t>(take), std::span(message).subspan(pos));
      pos += take;
    }
    pieces.MD5Final();
    ASSERT_EQ(pieces.GetValues(), whole.GetValues()) << "round " << round << ", " << length;
  }
}

TEST(Md5State, RegistersAndValuesFollowTheStateWords) {
  md5 digest;
  const auto registers = [&] {
    return digest.RegisterA() + " " + digest.RegisterB() + " " + digest.RegisterC() + " " +
           digest.RegisterD();
  };
  EXPECT_EQ(digest.GetValues(), std::string(32, '0'));
  digest.MD5Init();
  EXPECT_EQ(digest.GetValues(), "0123456789ABCDEFFEDCBA9876543210");
  EXPECT_EQ(registers(), "1732584193 -271733879 -1732584194 271733878");
  // The digest of "abc" (900150983CD24FB0...) as little-endian signed words.
  digest.MD5Update(3, Bytes("abc"));
  digest.MD5Final();
  EXPECT_EQ(registers(), "-1739587184 -1336946116 2101319382 1920983336");
}

template <class Error>
bool Is(const std::exception& e) {
  return dynamic_cast<const Error*>(&e) != nullptr;
}

// Each failure is thrown with its type and leaves the next digest to start afresh. The limit of
// MD5Final, 268,435,455 bytes, is not tested: reaching it means hashing 256 MiB.
TEST(Md5Limits, FailuresAreTypedAndTheNextDigestStartsAfresh) {
  const std::vector<std::uint8_t> big(32768, 'x');
  const std::pair<std::function<void(md5&)>, bool (*)(const std::exception&)> cases[] = {
      {[](md5& d) { d.DigestStrToHexStr(std::string(32768, 'a')); }, Is<std::overflow_error>},
      {[](md5& d) { d.DigestStrToHexStr(Repeat("\U0001F600", 32768)); }, Is<std::overflow_error>},
      {[](md5& d) { d.DigestStrToHexStr("a\u4E2D"); }, Is<std::overflow_error>},  // two bytes
      {[&](md5& d) { d.MD5Update(32768, big); }, Is<std::overflow_error>},
      {[&](md5& d) { d.MD5Update(32767, std::span(big).first(32766)); }, Is<std::out_of_range>},
      {[&](md5& d) { d.MD5Update(-1, big); }, Is<std::out_of_range>},
      {[](md5& d) { d.DigestFileToHexStr("/nonexistent/quorvix/md5"); }, Is<std::system_error>},
      {[](md5& d) { d.DigestFileToHexStr("."); }, Is<std::system_error>}};  // opens, cannot read
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    md5 digest;
    digest.MD5Init();
    digest.MD5Update(10, Bytes("0123456789"));  // a message in progress when the failure comes
    try {
      cases[i].first(digest);
      ADD_FAILURE() << "no failure in case " << i;
    } catch (const std::exception& e) {
      EXPECT_TRUE(cases[i].second(e)) << "case " << i << ": " << e.what();
    }
    EXPECT_EQ(digest.DigestStrToHexStr("abc"), "900150983CD24FB0D6963F7D28E17F72") << i;
  }
}

// Bytes (31 * i + 7) mod 256, written with perl for md5sum; 65,537 passes the 64 KiB read.
TEST(Md5File, DigestsTheFileBytes) {
  const std::pair<std::size_t, const char*> cases[] = {
      {0, "D41D8CD98F00B204E9800998ECF8427E"},   {63, "2F0301069E1C40AF7F6C8F843B1B13F2"},
      {64, "B6BF87C24B1BC334E2541387A92B981B"},  {65, "F168246F08B6134D66BD2A10343FA9F1"},
      {128, "3E85B70FFC8DF5C735ECF2A8F14F1BEE"}, {65537, "4A350BEC80793CCDB466FB6D631FF062"}};
  quorvix::testing::TempDir dir;
  md5 digest;
  for (const auto& [size, expected] : cases) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    quorvix::testing::WriteFile(dir / "input.bin", bytes);
    EXPECT_EQ(digest.DigestFileToHexStr(dir / "input.bin"), expected) << size;
  }
}

TEST(Md5Rotate, LongLeftRotateTable) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const std::int32_t cases[][3] = {{1, 1, 2},  {kMin, 1, 1}, {0x12345678, 4, 0x23456781},
                                   {1, 33, 2}, {5, 0, 5},    {5, 32, 5},
                                   {5, -1, 5}};  // value, bits, expected
  for (const auto& [value, bits, expected] : cases) {
    EXPECT_EQ(md5::LongLeftRotate(value, bits), expected) << value << " rotl " << bits;
  }
}

}  // namespace
