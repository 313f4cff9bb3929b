// Reading the raw formats that are not TIFF: where a Fujifilm RAF keeps its
// embedded JPEG and a Minolta MRW its TIFF block. Each is read through a view
// of its own bytes alone, so that nothing its offsets point to outside it is
// ever read for it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

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

}  // namespace kelvane::media
