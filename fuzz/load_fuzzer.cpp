// Feeds each input to a fresh reader as the whole content of one file, the way
// the no-window front end reads it when boxes are answered Yes (a series of
// Yes, then Yes to All), and to the all-media reader. Any escaping
// exception, sanitizer report, leak or slow input is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exif/exif_reader.h"
#include "media/media_reader.h"
#include "memory_file_system.h"
#include "quiet_message_boxes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string kPath = "/fuzz/input.jpg";

  kelvane::testing::MemoryFileSystem files;
  files.add(kPath, std::vector<std::uint8_t>(data, data + size));
  kelvane::fuzzing::QuietMessageBoxes boxes;
  kelvane::clsExifReader reader(files, boxes);

  reader.Load(kPath);
  reader.Tag(36867);  // DateTimeOriginal, what the sort run asks for
  reader.Tag(0);

  // The all-media reader takes the same bytes as any format it knows.
  kelvane::media::MediaReader media(files, boxes, size % 2 == 1);
  media.captureDate(kPath);

  // Both readers close their file before returning, so that the caller may
  // move it at once.
  if (files.openFiles() != 0) {
    std::fprintf(stderr, "file left open after reading: %d\n", files.openFiles());
    std::abort();
  }
  return 0;
}
