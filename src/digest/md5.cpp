#include "digest/md5.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "digest/md5_transform.h"
#include "platform/codepage.h"
#include "platform/utf8.h"

namespace quorvix {
namespace {

constexpr std::int32_t kMaxUpdateLength = 32767;       // positions within one call are 16-bit
constexpr std::int32_t kMaxMessageLength = 268435455;  // the bit length must fit 32 signed bits
constexpr std::size_t kFileChunk = 64 * 1024;

std::string SignedDecimal(std::uint32_t word) {
  return std::to_string(static_cast<std::int32_t>(word));
}

// True when no byte is 0x80 or above: such text is already its code page 936 encoding, one byte
// per character, so it needs neither counting nor conversion.
bool IsAscii(const std::string& text) {
  std::uint64_t seen = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    seen |= word;
  }
  for (; i < text.size(); ++i) seen |= static_cast<unsigned char>(text[i]);
  return (seen & 0x8080808080808080u) == 0;
}

}  // namespace

std::string md5::RegisterA() const { return SignedDecimal(state_[0]); }
std::string md5::RegisterB() const { return SignedDecimal(state_[1]); }
std::string md5::RegisterC() const { return SignedDecimal(state_[2]); }
std::string md5::RegisterD() const { return SignedDecimal(state_[3]); }

void md5::MD5Init() {
  state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
  byteCount_ = 0;
}

void md5::Feed(const std::uint8_t* bytes, std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - byteCount_)) {
    throw std::overflow_error("md5: message longer than 2,147,483,647 bytes");
  }
  std::size_t used = static_cast<std::size_t>(byteCount_) % 64;
  byteCount_ += static_cast<std::int32_t>(length);
  if (used > 0) {
    const std::size_t take = std::min(length, 64 - used);
    std::copy_n(bytes, take, blockBuffer_.begin() + static_cast<std::ptrdiff_t>(used));
    bytes += take;
    length -= take;
    if (used + take < 64) return;
    Md5Transform(state_, blockBuffer_.data(), 1);
  }
  // Whole blocks straight from the caller's bytes; only a tail is copied.
  Md5Transform(state_, bytes, length / 64);
  std::copy_n(bytes + length / 64 * 64, length % 64, blockBuffer_.begin());
}

void md5::MD5Update(std::int32_t InputLen, std::span<const std::uint8_t> InputBuffer) {
  if (InputLen < 0) throw std::out_of_range("md5: negative input length");
  if (InputLen > kMaxUpdateLength)
    throw std::overflow_error("md5: more than 32,767 bytes in one call");
  if (InputBuffer.size() < static_cast<std::size_t>(InputLen)) {
    throw std::out_of_range("md5: input buffer shorter than the input length");
  }
  Feed(InputBuffer.data(), static_cast<std::size_t>(InputLen));
}

void md5::MD5Final() {
  if (byteCount_ > kMaxMessageLength)
    throw std::overflow_error("md5: message too long for its bit length");
  const auto bits = static_cast<std::uint32_t>(byteCount_) * 8u;
  const std::int32_t used = byteCount_ % 64;
  std::array<std::uint8_t, 64> padding{};
  padding[0] = 0x80;
  MD5Update(used < 56 ? 56 - used : 120 - used, padding);
  const std::array<std::uint8_t, 8> length = {static_cast<std::uint8_t>(bits),
                                              static_cast<std::uint8_t>(bits >> 8),
                                              static_cast<std::uint8_t>(bits >> 16),
                                              static_cast<std::uint8_t>(bits >> 24),
                                              0,
                                              0,
                                              0,
                                              0};
  MD5Update(8, length);
}

std::string md5::GetValues() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex(32, '0');
  std::size_t out = 0;
  for (const std::uint32_t word : state_) {
    for (int shift = 0; shift < 32; shift += 8) {
      const auto byte = static_cast<std::uint8_t>(word >> shift);
      hex[out++] = kHex[byte >> 4];
      hex[out++] = kHex[byte & 0x0F];
    }
  }
  return hex;
}

std::string md5::DigestStrToHexStr(const std::string& SourceString) {
  MD5Init();
  constexpr auto kMaxCharacters = static_cast<std::size_t>(kMaxUpdateLength);
  const auto tooLong = [] {
    return std::overflow_error("md5: text longer than 32,767 characters");
  };
  if (IsAscii(SourceString)) {
    // The common case (signatures of ASCII passwords and domains): hashed in place.
    if (SourceString.size() > kMaxCharacters) throw tooLong();
    const auto* data = reinterpret_cast<const std::uint8_t*>(SourceString.data());
    MD5Update(static_cast<std::int32_t>(SourceString.size()), {data, SourceString.size()});
  } else {
    // A text has no more characters than bytes: only a long one needs counting.
    if (SourceString.size() > kMaxCharacters &&
        platform::Utf8Length(SourceString) > kMaxCharacters) {
      throw tooLong();
    }
    const platform::Cp936Text bytes = platform::EncodeCp936(SourceString);
    if (bytes.doubleByte > 0) {
      throw std::overflow_error("md5: text holds a character that takes two bytes");
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.bytes.data());
    MD5Update(static_cast<std::int32_t>(bytes.bytes.size()), {data, bytes.bytes.size()});
  }
  MD5Final();
  return GetValues();
}

std::string md5::DigestFileToHexStr(const std::string& FileName) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(FileName.c_str(), "rb"));
  if (!file) throw std::system_error(errno, std::generic_category(), FileName);
  MD5Init();
  std::vector<std::uint8_t> chunk(kFileChunk);
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    Feed(chunk.data(), got);
    if (got < chunk.size()) break;
  }
  if (std::ferror(file.get())) throw std::system_error(EIO, std::generic_category(), FileName);
  file.reset();
  MD5Final();
  return GetValues();
}

std::int32_t md5::LongLeftRotate(std::int32_t value, std::int32_t bits) {
  const std::int32_t count = bits % 32;
  if (count <= 0) return value;
  return static_cast<std::int32_t>(std::rotl(static_cast<std::uint32_t>(value), count));
}

}  // namespace quorvix
