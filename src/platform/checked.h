// Long arithmetic that never wraps: an overflow is run-time failure 6.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/basic_types.h"
#include "platform/runtime_failure.h"

namespace kelvane::checked {

// Narrows a 64-bit intermediate to a Long, failing with an overflow.
inline Long toLong(std::int64_t value) {
  if (value < std::numeric_limits<Long>::min() || value > std::numeric_limits<Long>::max()) {
    failure::overflow();
  }
  return static_cast<Long>(value);
}

inline Long add(Long a, Long b) { return toLong(std::int64_t{a} + b); }
inline Long subtract(Long a, Long b) { return toLong(std::int64_t{a} - b); }
inline Long multiply(Long a, Long b) { return toLong(std::int64_t{a} * b); }

inline Integer toInteger(std::int64_t value) {
  if (value < std::numeric_limits<Integer>::min() || value > std::numeric_limits<Integer>::max()) {
    failure::overflow();
  }
  return static_cast<Integer>(value);
}

}  // namespace kelvane::checked
