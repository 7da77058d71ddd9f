// The RFC 1321 compression function: the hot loop of every digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvix {

// Processes `blocks` consecutive 64-byte blocks starting at `data` into the state words.
void Md5Transform(std::array<std::uint32_t, 4>& state, const std::uint8_t* data,
                  std::size_t blocks);

}  // namespace quorvix
