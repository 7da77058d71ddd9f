#pragma once

#include <string_view>

namespace quorvix {

// True for a dotted IPv4 literal: exactly four parts, each a decimal number from 0 to 255.
// Three or five parts, an empty part, a non-numeric part or a number above 255 give false.
bool IsDottedAddress(std::string_view text);

}  // namespace quorvix
