// The reader object: its path property, the tag lookup and Clear.
#include "exif/exif_reader.h"

#include <cctype>

namespace kelvane {

clsExifReader::clsExifReader(FileOpener& files, MessageBoxes& boxes) : files_(files), boxes_(boxes) {}

void clsExifReader::picFile(const std::string& path) {
  // Takes paths ending in g or G: jpg, jpeg, and png too.
  if (FileLocate(path) && !path.empty() && std::tolower(static_cast<unsigned char>(path.back())) == 'g') {
    sPicPath = path;
  }
}

TagValue clsExifReader::Tag(Long ExifTag) {
  if (!bLoaded) {
    if (sPicPath.empty()) return {};
    if (!Load(sPicPath)) {
      const std::string prompt =
          "Cannot load file" + std::string(kLineBreak) + std::string(kLineBreak) + sPicPath;
      boxes_.show(prompt, "Get JPEG file tag", Buttons::Ok, Icon::Critical);
      return {};
    }
  }
  if (ExifTag == 0) return aTags.hasBounds() ? TagValue{aTags.upperBound()} : TagValue{};
  // The first match wins: the record from the directory walked first.
  for (const TagEntry& entry : aTags.records()) {
    if (entry.TagId == ExifTag) return entry.Value;
  }
  return {};
}

void clsExifReader::Clear() { bytData.resetToZeros(1); }

}  // namespace kelvane
