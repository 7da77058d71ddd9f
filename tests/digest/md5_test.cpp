// The md5 class against published and independently computed digests, its call limits and its
// recovery after a failure.
#include "digest/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

// md5sum prints lower case; the class answers in upper case.
std::string Upper(std::string hex) {
  std::transform(hex.begin(), hex.end(), hex.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return hex;
}

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

// "abcd...zabcd..." cut to n characters.
std::string Alphabet(std::size_t n) {
  std::string text(n, ' ');
  for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

// Bytes (31 * i + 7) mod 256: every byte value, no period of a block length.
std::string BinaryPattern(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return bytes;
}

struct TextCase {
  std::string text;
  std::string digest;
};

// A text is digested as its code page 936 bytes.
class Md5Text : public ::testing::TestWithParam<TextCase> {};

TEST_P(Md5Text, DigestsTheSingleByteEncoding) {
  md5 digest;
  EXPECT_EQ(digest.DigestStrToHexStr(GetParam().text), Upper(GetParam().digest));
}

INSTANTIATE_TEST_SUITE_P(
    Rfc1321Suite, Md5Text,
    ::testing::Values(TextCase{"", "d41d8cd98f00b204e9800998ecf8427e"},
                      TextCase{"a", "0cc175b9c0f1b6a831c399e269772661"},
                      TextCase{"abc", "900150983cd24fb0d6963f7d28e17f72"},
                      TextCase{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
                      TextCase{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
                      TextCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                               "d174ab98d277d9f5a5611c2c9f419d9f"},
                      TextCase{Repeat("1234567890", 8), "57edf4a22be3c955ac49da2e2107b67a"}));

// Around the lengths where the padding and length field spill into another block. Expected
// values from `yes abcdefghijklmnopqrstuvwxyz | tr -d '\n' | head -c N | md5sum`.
class Md5Padding : public ::testing::TestWithParam<std::pair<std::size_t, const char*>> {};

TEST_P(Md5Padding, OneShotAndByteByByteAgree) {
  const auto& [length, expected] = GetParam();
  const std::string text = Alphabet(length);
  md5 digest;
  EXPECT_EQ(digest.DigestStrToHexStr(text), Upper(expected));

  digest.MD5Init();
  for (std::size_t i = 0; i < text.size(); ++i) digest.MD5Update(1, Bytes(text).subspan(i));
  digest.MD5Final();
  EXPECT_EQ(digest.GetValues(), Upper(expected));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, Md5Padding,
                         ::testing::Values(std::pair{55, "0d7ae056b2f015cd7dc67494efd658f1"},
                                           std::pair{56, "31fcfb5165169eb55898e7e4cf34d19a"},
                                           std::pair{57, "fd62afaf3aa1e2a52882cb464f5ccc4d"},
                                           std::pair{63, "1b30c0670c15e7da3c2ba7bce77ebe99"},
                                           std::pair{64, "a2eaf6295c32adc403865fd96a2f182b"},
                                           std::pair{65, "eba2cce0ca8df47e62414a736b3105a2"},
                                           std::pair{119, "b05187e08da41fa3ef16bd56afaafd99"},
                                           std::pair{120, "62af9b597a9f55e16ab2b897387fc052"},
                                           std::pair{121, "ac6fa3571578e922ab77f3d08a1ed8c0"},
                                           std::pair{128, "3e8c1ccbd71838ef3df4b72e57fb9bf6"}));

TEST(Md5Stream, RandomSplitsMatchOneShot) {
  std::mt19937 rng(1321);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 300; ++round) {
    const auto length = std::uniform_int_distribution<std::size_t>(0, 4000)(rng);
    std::vector<std::uint8_t> message(length);
    for (auto& b : message) b = static_cast<std::uint8_t>(byte(rng));

    md5 whole;
    whole.MD5Init();
    whole.MD5Update(static_cast<std::int32_t>(length), message);
    whole.MD5Final();

    // Pieces of 0 to 130 bytes, each passed with the whole rest of the message behind it so
    // that reading past InputLen would show.
    md5 parts;
    parts.MD5Init();
    for (std::size_t pos = 0; pos < length;) {
      const auto take =
          std::min(std::uniform_int_distribution<std::size_t>(0, 130)(rng), length - pos);
      parts.MD5Update(static_cast<std::int32_t>(take), std::span(message).subspan(pos));
      pos += take;
    }
    parts.MD5Final();
    ASSERT_EQ(parts.GetValues(), whole.GetValues())
        << "round " << round << ", " << length << " bytes";
  }
}

TEST(Md5Limits, TextLengthIsCountedInCharacters) {
  md5 digest;
  // `yes a | tr -d '\n' | head -c 32767 | md5sum`, and the same with "?".
  EXPECT_EQ(digest.DigestStrToHexStr(std::string(32767, 'a')), "F92977CA3046643F0E26DBCF945EC7DF");
  EXPECT_THROW(digest.DigestStrToHexStr(std::string(32768, 'a')), std::overflow_error);
  // An emoji is four UTF-8 bytes but one character, and one "?" byte in code page 936.
  EXPECT_EQ(digest.DigestStrToHexStr(Repeat("\U0001F600", 32767)),
            "ABE8D97935ABB33A0C71B1B450F05B59");
  EXPECT_THROW(digest.DigestStrToHexStr(Repeat("\U0001F600", 32768)), std::overflow_error);
}

// Expected values: md5sum of the bytes given with printf.
INSTANTIATE_TEST_SUITE_P(
    CodePage936, Md5Text,
    ::testing::Values(TextCase{"\U0001F600", "d1457b72c3fb323a2671125aef3eab5d"},    // '?'
                      TextCase{"a\U0001F600b", "0166d849f21a9d699d896ea2a79a375f"},  // 'a?b'
                      TextCase{"\xFF", "d1457b72c3fb323a2671125aef3eab5d"},          // '?'
                      TextCase{"\u20AC", "8d39dd7eef115ea6975446ef4082951f"},        // '\x80'
                      TextCase{"abcdef\u20ACghijklmnop", "043bc881605a5539a6c6e0bad7c63300"},
                      TextCase{"abcdefg\xFFhijklmnop", "d25cf1a4014d4b07890b554ee9d4dc03"}));

TEST(Md5Limits, DoubleByteCharactersOverflow) {
  md5 digest;
  for (const char* text : {"\u5BC6\u7801", "a\u4E2D", "\uFF0C"}) {  // 密码, a中, fullwidth comma
    EXPECT_THROW(digest.DigestStrToHexStr(text), std::overflow_error) << text;
  }
}

TEST(Md5Limits, UpdateChecksLengthAndBuffer) {
  const std::vector<std::uint8_t> big(32768, 'x');
  md5 digest;
  digest.MD5Init();
  EXPECT_THROW(digest.MD5Update(32768, big), std::overflow_error);
  EXPECT_THROW(digest.MD5Update(std::numeric_limits<std::int32_t>::max(), big),
               std::overflow_error);
  EXPECT_THROW(digest.MD5Update(32767, std::span(big).first(32766)), std::out_of_range);
  EXPECT_THROW(digest.MD5Update(1, {}), std::out_of_range);
  EXPECT_THROW(digest.MD5Update(-1, big), std::out_of_range);
  EXPECT_THROW(digest.MD5Update(std::numeric_limits<std::int32_t>::min(), big), std::out_of_range);

  digest.MD5Init();
  digest.MD5Update(0, Bytes("ignored"));
  digest.MD5Update(3, Bytes("abcdef"));
  digest.MD5Update(0, {});
  digest.MD5Final();
  EXPECT_EQ(digest.GetValues(), "900150983CD24FB0D6963F7D28E17F72");
}

// The 268,435,456-byte limit of MD5Final is not tested: reaching it means hashing 256 MiB,
// several seconds in a sanitizer build.

TEST(Md5State, RegistersFollowTheStateWords) {
  md5 digest;
  EXPECT_EQ(digest.GetValues(), std::string(32, '0'));
  for (const auto& reg :
       {digest.RegisterA(), digest.RegisterB(), digest.RegisterC(), digest.RegisterD()}) {
    EXPECT_EQ(reg, "0");
  }

  digest.MD5Init();
  EXPECT_EQ(digest.GetValues(), "0123456789ABCDEFFEDCBA9876543210");
  EXPECT_EQ(digest.RegisterA(), "1732584193");
  EXPECT_EQ(digest.RegisterB(), "-271733879");
  EXPECT_EQ(digest.RegisterC(), "-1732584194");
  EXPECT_EQ(digest.RegisterD(), "271733878");

  // After MD5Final they read the digest of "abc" (900150983CD24FB0...), little-endian words.
  digest.MD5Update(3, Bytes("abc"));
  digest.MD5Final();
  EXPECT_EQ(digest.RegisterA(), "-1739587184");
  EXPECT_EQ(digest.RegisterB(), "-1336946116");
  EXPECT_EQ(digest.RegisterC(), "2101319382");
  EXPECT_EQ(digest.RegisterD(), "1920983336");
}

class Md5Recovery : public ::testing::TestWithParam<std::function<void(md5&)>> {};

TEST_P(Md5Recovery, NextDigestStartsAfresh) {
  md5 digest;
  digest.MD5Init();
  digest.MD5Update(10, Bytes("0123456789"));  // a message in progress when the failure comes
  EXPECT_ANY_THROW(GetParam()(digest));

  EXPECT_EQ(digest.DigestStrToHexStr("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_ANY_THROW(GetParam()(digest));
  digest.MD5Init();
  digest.MD5Update(1, Bytes("a"));
  digest.MD5Final();
  EXPECT_EQ(digest.GetValues(), "0CC175B9C0F1B6A831C399E269772661");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, Md5Recovery,
    ::testing::Values([](md5& d) { d.DigestStrToHexStr(std::string(32768, 'a')); },
                      [](md5& d) { d.DigestStrToHexStr("\u5BC6\u7801"); },
                      [](md5& d) { d.MD5Update(40000, std::vector<std::uint8_t>(40000)); },
                      [](md5& d) { d.MD5Update(8, Bytes("abc")); },
                      [](md5& d) { d.MD5Update(-5, Bytes("abc")); },
                      [](md5& d) { d.DigestFileToHexStr("/nonexistent/quorvix/md5-input"); }));

// Expected values: md5sum of the same bytes, written with perl.
class Md5File : public ::testing::TestWithParam<std::pair<std::size_t, const char*>> {};

TEST_P(Md5File, DigestsTheFileBytes) {
  const auto& [size, expected] = GetParam();
  quorvix::testing::TempDir dir;
  const std::string bytes = BinaryPattern(size);
  quorvix::testing::WriteFile(dir / "input.bin", bytes);
  md5 digest;
  EXPECT_EQ(digest.DigestFileToHexStr(dir / "input.bin"), Upper(expected));

  // The 64 KiB reads must not differ from block-sized feeding.
  digest.MD5Init();
  for (std::size_t pos = 0; pos < size; pos += 64) {
    digest.MD5Update(static_cast<std::int32_t>(std::min<std::size_t>(64, size - pos)),
                     Bytes(bytes).subspan(pos));
  }
  digest.MD5Final();
  EXPECT_EQ(digest.GetValues(), Upper(expected));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Md5File,
                         ::testing::Values(std::pair{0, "d41d8cd98f00b204e9800998ecf8427e"},
                                           std::pair{63, "2f0301069e1c40af7f6c8f843b1b13f2"},
                                           std::pair{64, "b6bf87c24b1bc334e2541387a92b981b"},
                                           std::pair{65, "f168246f08b6134d66bd2a10343fa9f1"},
                                           std::pair{128, "3e85b70ffc8df5c735ecf2a8f14f1bee"},
                                           std::pair{65536, "f19c01fa0371e3c9070b45a85c696c48"},
                                           std::pair{65537, "4a350bec80793ccdb466fb6d631ff062"},
                                           std::pair{200001, "6a9f27a703cae6b06861ab1575f3e459"}));

TEST(Md5FileErrors, UnreadablePathsThrowSystemError) {
  quorvix::testing::TempDir dir;
  md5 digest;
  EXPECT_THROW(digest.DigestFileToHexStr(dir / "missing.bin"), std::system_error);
  EXPECT_THROW(digest.DigestFileToHexStr(dir.path()), std::system_error);  // a folder
}

TEST(Md5Rotate, LongLeftRotateTable) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    std::int32_t value, bits, expected;
  };
  for (const Case& c : {Case{1, 1, 2}, Case{kMin, 1, 1}, Case{1, 31, kMin}, Case{1, 33, 2},
                        Case{0x12345678, 4, 0x23456781}, Case{-1, 13, -1}, Case{5, 0, 5},
                        Case{5, 32, 5}, Case{5, 64, 5}, Case{5, -1, 5}, Case{5, -33, 5}}) {
    EXPECT_EQ(md5::LongLeftRotate(c.value, c.bits), c.expected) << c.value << " rotl " << c.bits;
  }
}

}  // namespace
