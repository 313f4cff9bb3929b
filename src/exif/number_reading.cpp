// The reader's small number and text operations: byte order, little- and
// big-endian reads, padding, and the path check of picFile.
#include "exif/number_reading.h"

#include <array>
#include <cassert>
#include <cstdint>

#include "exif/exif_reader.h"
#include "platform/checked.h"

namespace kelvane {

// Only the byte 0x49 ('I') selects little-endian; every other byte, 'M' among
// them, means big-endian.
bool isIntel(FileBytes& bytes, Long tiffStart) { return bytes.at(tiffStart) == 0x49; }

// Every byte must lie inside the buffer before any is taken.
Long readIntel(FileBytes& bytes, Long index, Integer n) {
  assert((n == 2 || n == 4) && "ReadIntel reads two or four bytes");
  std::uint32_t value = 0;
  for (Integer k = 0; k < n; ++k) {
    value |= std::uint32_t{bytes.at(checked::add(index, k))} << (8 * k);
  }
  return static_cast<Long>(value);
}

Long parseLtoR(FileBytes& bytes, Long pos, Integer n) {
  try {
    std::array<std::uint8_t, 4> slots{};
    const Integer last = checked::toInteger(std::int32_t{n} - 1);
    // The first byte read lands at the highest used slot, the last at slot 0.
    for (Integer i = 0; i <= last; ++i) {
      const int slot = last - i;
      if (slot > 3) failure::subscriptOutOfRange();
      slots[static_cast<std::size_t>(slot)] = bytes.at(checked::add(pos, i));
    }
    return static_cast<Long>(std::uint32_t{slots[0]} | std::uint32_t{slots[1]} << 8 |
                             std::uint32_t{slots[2]} << 16 | std::uint32_t{slots[3]} << 24);
  } catch (RuntimeFailure& failure) {
    failure.setSource("L-to-R Parse function");
    throw;
  }
}

// b0 × 2^24 + b1 × 2^16 + b2 × 2^8 + b3 in Long arithmetic: a first byte of
// 0x80 or more does not fit and is an overflow.
Long readBigEndianSum(FileBytes& bytes, Long index) {
  Long value = checked::multiply(bytes.at(index), 0x1000000);
  value = checked::add(value, bytes.at(checked::add(index, 1)) * 0x10000);
  value = checked::add(value, bytes.at(checked::add(index, 2)) * 0x100);
  return checked::add(value, bytes.at(checked::add(index, 3)));
}

std::string padLeft(const std::string& text, Integer width, const std::string& pad) {
  if (pad.empty() || static_cast<std::int64_t>(text.size()) >= width) return text;
  return std::string(static_cast<std::size_t>(width) - text.size(), pad.front()) + text;
}

bool clsExifReader::IsIntel() { return isIntel(bytData, lTiffStart); }
Long clsExifReader::ReadIntel(Long index, Integer n) { return readIntel(bytData, index, n); }
Long clsExifReader::ParseLtoR(const Long& pos, const Integer& n) { return parseLtoR(bytData, pos, n); }
std::string clsExifReader::PadLeft(const std::string& text, Integer width, const std::string& pad) const {
  return padLeft(text, width, pad);
}

// Any path may be used; the load itself reports a file that is not there.
bool clsExifReader::FileLocate(const std::string& /*path*/) const { return true; }

}  // namespace kelvane
