#include "media/media_reader.h"

#include <limits>
#include <string_view>

#include "exif/app1_segment.h"
#include "exif/directory_walk.h"
#include "exif/file_bytes.h"
#include "exif/number_reading.h"
#include "media/container_reading.h"
#include "media/raw_reading.h"
#include "platform/checked.h"
#include "platform/runtime_failure.h"

namespace kelvane::media {
namespace {

constexpr Long kDateTimeOriginal = 36867;

bool startsWith(FileBytes& bytes, std::string_view magic, std::int64_t at = 0) {
  if (bytes.upperBound() - at < static_cast<std::int64_t>(magic.size())) return false;
  for (std::size_t k = 0; k < magic.size(); ++k) {
    if (bytes.byteAt(at + static_cast<std::int64_t>(k)) != static_cast<std::uint8_t>(magic[k])) return false;
  }
  return true;
}

// TIFF, and the raw formats that are TIFF with another magic number:
// Panasonic's "IIU\0", Olympus's "IIRO", "IIRS" and "MMOR".
bool isTiff(FileBytes& bytes) {
  using namespace std::string_view_literals;
  for (const std::string_view magic : {"II*\0"sv, "MM\0*"sv, "IIU\0"sv, "IIRO"sv, "IIRS"sv, "MMOR"sv}) {
    if (startsWith(bytes, magic)) return true;
  }
  return false;
}

Kind kindOf(FileBytes& bytes) {
  using namespace std::string_view_literals;
  if (startsWith(bytes, "\xFF\xD8"sv)) return Kind::Jpeg;
  if (isTiff(bytes)) return Kind::Tiff;
  if (startsWith(bytes, "\x89PNG\r\n\x1A\n"sv)) return Kind::Png;
  if (startsWith(bytes, "RIFF"sv) && startsWith(bytes, "WEBP"sv, 8)) return Kind::WebP;
  if (isIsoMedia(bytes)) return Kind::IsoMedia;
  if (startsWith(bytes, "FUJIFILMCCD-RAW "sv)) return Kind::Raf;
  if (startsWith(bytes, "\0MRM"sv)) return Kind::Mrw;
  if (startsWith(bytes, "II"sv) && startsWith(bytes, "HEAPCCDR"sv, 6)) return Kind::Crw;
  return Kind::Unknown;
}

// The directory walk from a TIFF header, as a JPEG's Exif block is walked:
// the first directory's entry count must lie in the file.
MediaDate tiffDate(FileBytes& bytes, std::int64_t start, MessageBoxes& boxes) {
  if (start > std::numeric_limits<Long>::max() - 8) return {};
  const auto tiffStart = static_cast<Long>(start);
  const Long ifd0 = isIntel(bytes, tiffStart) ? readIntel(bytes, checked::add(tiffStart, 4), 4)
                                              : readBigEndianSum(bytes, checked::add(tiffStart, 4));
  Long position = checked::add(tiffStart, ifd0);
  bytes.at(position);
  bytes.at(checked::add(position, 1));
  TagTable tags;
  Long nextLink = 0;
  Long exifDirectory = 0;
  MediaDate date;
  walkDirectories({bytes, tiffStart, tags, nextLink, exifDirectory, boxes, date.cutShort}, position);
  for (const TagEntry& entry : tags.records()) {
    if (entry.TagId == kDateTimeOriginal) {
      date.value = entry.Value;
      break;
    }
  }
  return date;
}

// A capture date in the file's own Exif wins over any date of the movie.
MediaDate isoMediaDate(FileBytes& bytes, MessageBoxes& boxes, bool videoUtc) {
  MediaDate date;
  for (const std::int64_t start : isoExifStarts(bytes)) {
    const MediaDate found = tiffDate(bytes, start, boxes);
    date.cutShort = date.cutShort || found.cutShort;
    if (!std::holds_alternative<std::monostate>(found.value)) return {found.value, date.cutShort};
  }
  if (std::optional<std::string> movie = movieDate(bytes, videoUtc)) date.value = *movie;
  return date;
}

MediaDate tiffDateAt(FileBytes& bytes, const std::optional<std::int64_t>& start, MessageBoxes& boxes) {
  return start ? tiffDate(bytes, *start, boxes) : MediaDate{};
}

// A part of the file read as a file of its own: offsets inside it count from
// its start, and nothing outside it is read.
template <typename ReadPart>
MediaDate dateInPart(FileBytes& bytes, const std::optional<ByteRange>& range, ReadPart readPart) {
  if (!range) return {};
  FileBytes part;
  part.open(sliceOf(bytes, *range));
  return readPart(part);
}

// An embedded JPEG's Exif block, found as in a JPEG file.
MediaDate jpegDate(FileBytes& jpeg, MessageBoxes& boxes) {
  const std::optional<App1Segment> app1 = firstApp1Segment(jpeg);
  return app1 && app1->exif ? tiffDate(jpeg, app1->tiffStart, boxes) : MediaDate{};
}

}  // namespace

MediaReader::MediaReader(FileOpener& files, MessageBoxes& boxes, bool videoUtc)
    : files_(files), boxes_(boxes), videoUtc_(videoUtc) {}

std::optional<MediaDate> MediaReader::captureDate(const std::string& path) {
  FileBytes bytes;
  try {
    bytes.open(files_.openForReading(path));
  } catch (const RuntimeFailure&) {
    return std::nullopt;  // clsExifReader, which tried the file first, has said why
  }
  std::optional<MediaDate> date;
  try {
    const Kind kind = kindOf(bytes);
    if (kind != Kind::Jpeg && kind != Kind::Unknown) boxes_.fileLoadStarted();
    switch (kind) {
      case Kind::Tiff: date = tiffDate(bytes, 0, boxes_); break;
      case Kind::Png: date = tiffDateAt(bytes, pngTiffStart(bytes), boxes_); break;
      case Kind::WebP: date = tiffDateAt(bytes, webpTiffStart(bytes), boxes_); break;
      case Kind::IsoMedia: date = isoMediaDate(bytes, boxes_, videoUtc_); break;
      case Kind::Raf:
        date = dateInPart(bytes, rafJpeg(bytes), [this](FileBytes& jpeg) { return jpegDate(jpeg, boxes_); });
        break;
      case Kind::Mrw:
        date = dateInPart(bytes, mrwTiffBlock(bytes),
                          [this](FileBytes& tiff) { return tiffDate(tiff, 0, boxes_); });
        break;
      case Kind::Crw:
        date = MediaDate{};
        if (std::optional<std::string> taken = crwDate(bytes)) date->value = *taken;
        break;
      case Kind::Jpeg:
      case Kind::Unknown: break;
    }
  } catch (const RuntimeFailure&) {
    date = MediaDate{};  // damage that hides the date
  }
  bytes.close();
  return date;
}

}  // namespace kelvane::media
