// Reading the raw formats that are not TIFF: where a Fujifilm RAF keeps its
// embedded JPEG and a Minolta MRW its TIFF block, and a Canon CRW's time
// stamp. The JPEG and the TIFF block are each read through a view of their
// own bytes alone, so that nothing their offsets point to outside them is
// ever read for them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "exif/file_bytes.h"
#include "platform/file_system.h"

namespace kelvane::media {

// A part of a file that lies wholly inside it.
struct ByteRange {
  std::int64_t start = 0;
  std::int64_t length = 0;
};

// The bytes of one range of a file as a file of their own, read through the
// whole file's bounds-checked view. It must not outlive that view.
std::unique_ptr<RandomAccessFile> sliceOf(FileBytes& whole, ByteRange range);

// "FUJIFILMCCD-RAW ": the embedded JPEG, when its offset and length put it
// inside the file.
std::optional<ByteRange> rafJpeg(FileBytes& bytes);

// "\0MRM": the TIFF block of the first "\0TTW" block among the header blocks,
// when the blocks up to it lie inside the header and the header in the file.
std::optional<ByteRange> mrwTiffBlock(FileBytes& bytes);

// "II", the header's length, "HEAPCCDR", then the root heap: the capture
// time of the time stamp record as "YYYY:MM:DD HH:MM:SS", the camera's own
// wall-clock time. Nothing without one, or with a time of 0 (unknown).
std::optional<std::string> crwDate(FileBytes& bytes);

}  // namespace kelvane::media
