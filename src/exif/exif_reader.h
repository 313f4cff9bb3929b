// clsExifReader: loads one picture file, finds its Exif block, walks the TIFF
// directories into a tag table and answers single tags by number. It shows
// its own message boxes for files it cannot read and for damaged directories,
// and lets no failure escape.
#pragma once

#include <string>
#include <vector>

#include "exif/file_bytes.h"
#include "exif/tag_entry.h"
#include "exif/tag_table.h"
#include "platform/basic_types.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/runtime_failure.h"

namespace kelvane {

class clsExifReader {
 public:
  clsExifReader(FileOpener& files, MessageBoxes& boxes);

  // Write-only property: stores the path for an on-demand load by Tag.
  void picFile(const std::string& path);

  // The value of the first record with this tag number; for 0, the number of
  // records. Loads on demand when a path was set but nothing is loaded yet.
  TagValue Tag(Long ExifTag);

  // True when the file was read and its Exif header found; the tag table then
  // holds what the directory walk read.
  bool Load(const std::string& spicFile);

  // Gives back the file's bytes; the tags stay.
  void Clear();

  // Whether the last load's directory walk was ended by its bound on failures
  // answered without a box, before it reached the end of its directories.
  bool walkCutShort() const { return walkCutShort_; }

  // The tag table in walk order (index 0 holds record 1).
  const std::vector<TagEntry>& tagRecords() const { return aTags.records(); }

 private:
  friend class ExifReaderProbe;  // unit tests of the private steps

  bool OpenJpegFile(const std::string& path);
  bool FindExifHeader();
  bool IsIntel();
  std::string PadLeft(const std::string& text, Integer width, const std::string& pad) const;
  void GetDirectoryEntries(Long& lDirPos);
  bool FileLocate(const std::string& path) const;
  Long ParseLtoR(const Long& pos, const Integer& n);
  Long ReadIntel(Long index, Integer n);

  bool readHeaderAndFirstDirectory();
  void startFresh();
  void showOpenFailure(const RuntimeFailure& failure);

  FileOpener& files_;
  MessageBoxes& boxes_;

  FileBytes bytData;
  Long lIfdOffset = 0;
  Long lApp1Pos = 0;
  Long lTiffStart = 0;
  Long lApp1Length = 0;
  Long lNextIfdOffset = 0;
  TagTable aTags;
  Long lExifIfdOffset = 0;
  std::string sPicPath;
  bool bLoaded = false;
  bool walkCutShort_ = false;
};

}  // namespace kelvane
