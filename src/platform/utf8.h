// Minimal UTF-8 walking shared by the code page and text helpers.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvix::platform {

// Length in bytes of the well-formed UTF-8 sequence starting at text[pos], or 0 when the byte
// there does not start one (stray continuation, overlong form, surrogate, truncation).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

// Number of characters (code points) in UTF-8 text; a malformed byte counts as one.
std::size_t Utf8Length(std::string_view utf8);

}  // namespace quorvix::platform
