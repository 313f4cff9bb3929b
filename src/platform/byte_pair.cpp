#include "platform/byte_pair.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KELVANE_PAIR_SEARCH_SSE2 1
#endif

namespace kelvane {

std::size_t findBytePair(std::span<const std::uint8_t> bytes, std::uint8_t first, std::uint8_t second) {
  const std::uint8_t* const data = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t k = 0;
#ifdef KELVANE_PAIR_SEARCH_SSE2
  // Sixteen places at a time, with no call a byte: a JPEG without an Exif
  // block is scanned to its end, and in its coded data a first byte of 0xFF
  // comes every few hundred bytes.
  const __m128i firsts = _mm_set1_epi8(static_cast<char>(first));
  const __m128i seconds = _mm_set1_epi8(static_cast<char>(second));
  for (; k + 17 <= size; k += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + 1));
    const auto hits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, firsts), _mm_cmpeq_epi8(next, seconds))));
    if (hits != 0) return k + static_cast<std::size_t>(std::countr_zero(hits));
  }
#endif
  while (k + 1 < size) {
    const void* hit = std::memchr(data + k, first, size - 1 - k);
    if (hit == nullptr) break;
    k = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (data[k + 1] == second) return k;
    ++k;
  }
  return size;
}

}  // namespace kelvane
