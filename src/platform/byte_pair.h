// The search for a pair of bytes (the marker scan's FF E1) in a block of
// memory, shared by the reader and the read-ahead that scans for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvane {

// The first k with bytes[k] == first and bytes[k + 1] == second; bytes.size()
// when there is none.
std::size_t findBytePair(std::span<const std::uint8_t> bytes, std::uint8_t first, std::uint8_t second);

}  // namespace kelvane
