// Lets tests reach the reader's private steps and members by their names.
#pragma once

#include "exif/exif_reader.h"

namespace kelvane {

class ExifReaderProbe {
 public:
  explicit ExifReaderProbe(clsExifReader& reader) : r_(reader) {}

  FileBytes& bytData() { return r_.bytData; }
  Long& lTiffStart() { return r_.lTiffStart; }
  Long lApp1Pos() const { return r_.lApp1Pos; }
  Long lIfdOffset() const { return r_.lIfdOffset; }
  Long& lNextIfdOffset() { return r_.lNextIfdOffset; }
  Long& lExifIfdOffset() { return r_.lExifIfdOffset; }
  bool bLoaded() const { return r_.bLoaded; }
  const std::string& sPicPath() const { return r_.sPicPath; }

  Long ReadIntel(Long index, Integer n) { return r_.ReadIntel(index, n); }
  Long ParseLtoR(Long pos, Integer n) { return r_.ParseLtoR(pos, n); }
  void GetDirectoryEntries(Long& lDirPos) { r_.GetDirectoryEntries(lDirPos); }

 private:
  clsExifReader& r_;
};

}  // namespace kelvane
