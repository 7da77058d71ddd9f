// Conversion between the program's UTF-8 text and code page 936 (GBK), the code page of the
// wire and of the digest input on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvix::platform {

// The byte that stands for a character without any code in code page 936, as Windows does.
inline constexpr char kUnmappableByte = '?';

struct Cp936Text {
  std::string bytes;           // the encoded text
  std::size_t characters = 0;  // characters read from the input
  std::size_t unmappable = 0;  // characters with no code (each became kUnmappableByte)
  std::size_t doubleByte = 0;  // characters whose code takes two bytes
};

// Encodes UTF-8 text. Every character gives one or two bytes; a malformed UTF-8 byte counts as
// one unmappable character.
Cp936Text EncodeCp936(std::string_view utf8);

// Decodes code page 936 bytes; a byte sequence with no meaning becomes U+FFFD, so any input
// decodes and nothing is lost silently in length.
std::string DecodeCp936(std::string_view bytes);

}  // namespace quorvix::platform
