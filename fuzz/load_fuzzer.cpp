// Feeds each input to a fresh reader as the whole content of one file, the way
// the no-window front end would read it when every box is answered Yes: Yes
// for the first 1,000 Yes/No boxes of a loaded file, No after. Any escaping
// exception, sanitizer report, leak or slow input is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "cli/stream_message_boxes.h"
#include "exif/exif_reader.h"
#include "memory_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string kPath = "/fuzz/input.jpg";
  // A stream without a buffer drops everything written to it.
  static std::ostream discard(nullptr);

  kelvane::testing::MemoryFileSystem files;
  files.add(kPath, std::vector<std::uint8_t>(data, data + size));
  kelvane::cli::StreamMessageBoxes boxes(discard, kelvane::Answer::Yes);
  kelvane::clsExifReader reader(files, boxes);

  reader.Load(kPath);
  reader.Tag(36867);  // DateTimeOriginal, what the sort run asks for
  reader.Tag(0);

  // The reader closes its file before Load (or Tag's load) returns, so that
  // the caller may move it at once.
  if (files.openFiles() != 0) {
    std::fprintf(stderr, "file left open after Load: %d\n", files.openFiles());
    std::abort();
  }
  return 0;
}
