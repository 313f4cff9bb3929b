// The integer widths and the line break that the whole core shares.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvane {

using Long = std::int32_t;     // every offset, count and tag field of the reader
using Integer = std::int16_t;  // byte counts and loop counters of the number readers

// The log's and the boxes' line break on this platform.
inline constexpr std::string_view kLineBreak = "\n";

}  // namespace kelvane
