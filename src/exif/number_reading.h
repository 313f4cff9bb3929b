// Numbers and texts read from a file's bytes: the byte order mark, little-
// and big-endian integers, and left padding. The reader's methods of the same
// names and the directory walk both use them.
#pragma once

#include <string>

#include "exif/file_bytes.h"
#include "platform/basic_types.h"

namespace kelvane {

// Only the byte 0x49 ('I') at the TIFF header selects little-endian.
bool isIntel(FileBytes& bytes, Long tiffStart);

// n (2 or 4) bytes from index, the first the least significant.
Long readIntel(FileBytes& bytes, Long index, Integer n);

// n bytes from pos, the first the most significant; a failure names the
// routine "L-to-R Parse function".
Long parseLtoR(FileBytes& bytes, Long pos, Integer n);

// Four bytes as b0 × 2^24 + b1 × 2^16 + b2 × 2^8 + b3 in Long arithmetic.
Long readBigEndianSum(FileBytes& bytes, Long index);

// The text with the first character of pad in front up to width characters.
std::string padLeft(const std::string& text, Integer width, const std::string& pad);

}  // namespace kelvane
