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
  Long lApp1Length() const { return r_.lApp1Length; }
  Long lIfdOffset() const { return r_.lIfdOffset; }
  Long& lNextIfdOffset() { return r_.lNextIfdOffset; }
  Long& lExifIfdOffset() { return r_.lExifIfdOffset; }
  bool bLoaded() const { return r_.bLoaded; }
  const std::string& sPicPath() const { return r_.sPicPath; }

  bool IsIntel() { return r_.IsIntel(); }
  Long ReadIntel(Long index, Integer n) { return r_.ReadIntel(index, n); }
  Long ParseLtoR(Long pos, Integer n) { return r_.ParseLtoR(pos, n); }
  std::string PadLeft(const std::string& text, Integer width, const std::string& pad) {
    return r_.PadLeft(text, width, pad);
  }
  bool FileLocate(const std::string& path) { return r_.FileLocate(path); }
  void GetDirectoryEntries(Long& lDirPos) { r_.GetDirectoryEntries(lDirPos); }

 private:
  clsExifReader& r_;
};

}  // namespace kelvane
