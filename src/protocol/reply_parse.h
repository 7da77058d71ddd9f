// Reading a raw HTTP reply: its status code and its named value lines ("RET-CODE: 200").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvix {

// Stands for a reply without a usable status line.
inline constexpr std::int16_t kNoStatus = 901;

// The middle field of a status line of exactly three blank-separated fields ("HTTP/1.1 200
// OK"); kNoStatus without a CR LF, with another number of fields, or when the middle field is
// not a number within 16 signed bits.
std::int16_t ReplyStatusCode(std::string_view reply);

// The value of the first occurrence of name + ":" anywhere in the reply (letter case ignored,
// also inside a longer name), up to the next CR LF, with blanks (not TABs) trimmed from both
// ends. Empty when the name is not found or no CR LF follows it. Linear in the reply's length.
std::string ReplyHeader(std::string_view reply, std::string_view name);

// The text from the character at 1-based position `position` on (characters, not bytes);
// empty when the text is shorter.
std::string TextFromCharacter(std::string_view text, std::size_t position);

// Parses a decimal integer within 16 signed bits (an optional sign, then digits only).
bool ParseInt16(std::string_view text, std::int16_t& value);

}  // namespace quorvix
