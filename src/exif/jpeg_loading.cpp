// Loading one file: the JPEG start, the Exif APP1 segment, the TIFF header and
// the first directory, then the directory walk.
#include <algorithm>
#include <limits>

#include "exif/app1_segment.h"
#include "exif/directory_walk.h"
#include "exif/exif_reader.h"
#include "exif/number_reading.h"
#include "platform/checked.h"

namespace kelvane {

bool clsExifReader::Load(const std::string& spicFile) {
  sPicPath = spicFile;
  if (sPicPath.empty()) return false;
  boxes_.fileLoadStarted();
  startFresh();
  bLoaded = OpenJpegFile(sPicPath) && readHeaderAndFirstDirectory();
  const bool loaded = bLoaded;  // what the walk finds does not change the result
  if (loaded) {
    Long lDirPos = lTiffStart + lIfdOffset;  // checked while reading the header
    GetDirectoryEntries(lDirPos);
  }
  // Closed before returning, so the caller may move the file at once.
  bytData.close();
  return loaded;
}

// The walk sees of the reader only what it reads and sets.
void clsExifReader::GetDirectoryEntries(Long& lDirPos) {
  walkDirectories({bytData, lTiffStart, aTags, lNextIfdOffset, lExifIfdOffset, boxes_, walkCutShort_},
                  lDirPos);
}

// Each load reads its file afresh: nothing of an earlier file is kept.
void clsExifReader::startFresh() {
  lIfdOffset = 0;
  lApp1Pos = 0;
  lTiffStart = 0;
  lApp1Length = 0;
  lNextIfdOffset = 0;
  lExifIfdOffset = 0;
  walkCutShort_ = false;
  aTags.clear();
}

bool clsExifReader::OpenJpegFile(const std::string& path) {
  try {
    bytData.open(files_.openForReading(path));
    return true;
  } catch (const RuntimeFailure& failure) {
    showOpenFailure(failure);
    return false;
  }
}

void clsExifReader::showOpenFailure(const RuntimeFailure& failure) {
  const std::string prompt =
      failure.errorText() + std::string(kLineBreak) + std::string(kLineBreak) + sPicPath;
  boxes_.show(prompt, "Open JPEG File", Buttons::Ok, Icon::Critical);
}

// A header field outside the file refuses it like a failed check. A file that
// can no longer be read (it shrank, the device failed) is reported as a failed
// open, as if it had been read whole at the start.
bool clsExifReader::readHeaderAndFirstDirectory() {
  try {
    if (!FindExifHeader()) return false;
    const Long offsetIndex = checked::add(lApp1Pos, 14);
    lIfdOffset = IsIntel() ? ReadIntel(offsetIndex, 4) : readBigEndianSum(bytData, offsetIndex);
    const Long countIndex = checked::add(lTiffStart, lIfdOffset);
    bytData.at(countIndex);
    bytData.at(checked::add(countIndex, 1));
    return true;
  } catch (const FileFailure& failure) {
    showOpenFailure(failure);
    return false;
  } catch (const RuntimeFailure&) {
    return false;
  }
}

bool clsExifReader::FindExifHeader() {
  const std::optional<App1Segment> app1 = firstApp1Segment(bytData);
  if (!app1) return false;
  lApp1Pos = app1->position;
  lTiffStart = app1->tiffStart;
  lApp1Length = app1->length;
  return app1->exif;
}

std::optional<App1Segment> firstApp1Segment(FileBytes& bytes) {
  if (bytes.at(0) != 0xFF || bytes.at(1) != 0xD8) return std::nullopt;
  // A plain byte scan for the first FF E1 from index 2: it does not follow the
  // segment structure, so it passes over an APP0 segment and would stop at
  // such a pair inside another segment's data. Without one it reads the file
  // to its end.
  const std::int64_t lastPairStart =
      std::min<std::int64_t>(bytes.upperBound() - 1, std::numeric_limits<Long>::max() - 1);
  const Long found = bytes.findMarkerPair(static_cast<Long>(lastPairStart));
  if (found <= 0) return std::nullopt;
  App1Segment app1;
  app1.position = found;
  app1.tiffStart = checked::add(found, 10);
  app1.length = bytes.at(checked::add(found, 2)) * 256 + bytes.at(checked::add(found, 3));
  // Only the first APP1 counts: another kind of APP1 in front refuses the file.
  std::string identifier;
  for (Long k = 4; k <= 7; ++k) identifier.push_back(static_cast<char>(bytes.at(checked::add(found, k))));
  app1.exif = identifier == "Exif";
  return app1;
}

}  // namespace kelvane
