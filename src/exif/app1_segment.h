// Where a JPEG's first APP1 segment lies, found as the JPEG reader finds it.
// The raw formats that embed a JPEG give it a byte view of that JPEG alone.
#pragma once

#include <optional>

#include "exif/file_bytes.h"
#include "platform/basic_types.h"

namespace kelvane {

struct App1Segment {
  Long position = 0;   // of the FF E1 pair
  Long tiffStart = 0;  // where an Exif block's TIFF header begins
  Long length = 0;     // as the segment declares it
  bool exif = false;   // the identifier reads "Exif"
};

// Nothing when the bytes do not start with FF D8 or hold no FF E1 pair.
// Bytes missing for the length or identifier are failure 9, a position
// that leaves no room for the header failure 6.
std::optional<App1Segment> firstApp1Segment(FileBytes& bytes);

}  // namespace kelvane
