// What reading one file may cost at most: tag records, value text, and failed
// steps passed over after "Yes to All". Only a damaged or crafted file comes
// near these; a photo stays far below them.
#pragma once

#include <cstddef>

namespace kelvane::budget {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// A fuzzing build enforces the same budgets through the same code, only
// lower: an input that reaches one then costs milliseconds instead of most of
// a second, and the fuzzer keeps its pace.
inline constexpr std::size_t kMaxRecords = std::size_t{1} << 10;
inline constexpr std::size_t kMaxValueText = std::size_t{1} << 10;
inline constexpr long kUnseenFailures = 200;
#else
inline constexpr std::size_t kMaxRecords = std::size_t{1} << 17;
inline constexpr std::size_t kMaxValueText = std::size_t{4} << 20;
inline constexpr long kUnseenFailures = 100'000;
#endif

}  // namespace kelvane::budget
