// The digits of upper-case hexadecimal, for every text that writes bytes in hex.
#pragma once

namespace kelvane {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace kelvane
