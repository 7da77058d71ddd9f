// MD5 message digests (RFC 1321) as 32 upper-case hexadecimal digits, with the limits of the
// program's signing: one feeding call takes at most 32,767 bytes, a message at most
// 268,435,455 bytes. Used to sign each domain entry in place of its password.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quorvix {

// Failures are thrown: std::overflow_error for a limit passed, std::out_of_range for a buffer
// shorter than the count given, std::system_error when a file cannot be opened or read. After
// a failure the digest in progress is lost; the next MD5Init or digest call starts afresh.
class md5 {
 public:
  // The state words written as signed 32-bit decimal integers ("-271733879").
  std::string RegisterA() const;
  std::string RegisterB() const;
  std::string RegisterC() const;
  std::string RegisterD() const;

  // The hex digest of a file's bytes.
  std::string DigestFileToHexStr(const std::string& FileName);

  // The hex digest of a text taken one byte per character in code page 936. Fails with an
  // overflow for more than 32,767 characters or a character whose code takes two bytes; a
  // character with no code at all is taken as "?".
  std::string DigestStrToHexStr(const std::string& SourceString);

  // The state words A, B, C, D as the hex digest (each word's bytes from least significant).
  std::string GetValues() const;

  // Starts a new message: the RFC 1321 initial words and no bytes.
  void MD5Init();

  // Appends the padding and the length and processes the final block(s); the state words then
  // hold the digest until the next MD5Init.
  void MD5Final();

  // Appends the first InputLen bytes of InputBuffer (0 to 32,767).
  void MD5Update(std::int32_t InputLen, std::span<const std::uint8_t> InputBuffer);

  // value rotated left by bits mod 32 (truncating, so the remainder has the sign of bits);
  // a remainder of 0 or below returns value unchanged.
  static std::int32_t LongLeftRotate(std::int32_t value, std::int32_t bits);

 private:
  void Feed(const std::uint8_t* bytes, std::size_t length);

  std::array<std::uint32_t, 4> state_{};  // A, B, C, D; zero until the first MD5Init
  std::int32_t byteCount_ = 0;            // bytes fed since MD5Init
  std::array<std::uint8_t, 64> blockBuffer_{};
};

}  // namespace quorvix
