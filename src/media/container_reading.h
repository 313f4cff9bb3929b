// Reading the containers of the formats the all-media mode knows, on the
// bounded, lazy byte view: where a TIFF block starts (TIFF and raw files,
// PNG, WebP, HEIF), and a movie's date (QuickTime, MP4). Every size and
// offset a file declares is checked against the file and its parent
// structure, and every scan is bounded, so that no file can make a search
// run away.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exif/file_bytes.h"

namespace kelvane::media {

// Big- and little-endian numbers of n bytes (n ≤ 8) at any offset.
std::uint64_t bigEndian(FileBytes& bytes, std::int64_t at, int n);
std::uint64_t littleEndian(FileBytes& bytes, std::int64_t at, int n);

// The offset of the TIFF header inside the container, when there is one.
std::optional<std::int64_t> pngTiffStart(FileBytes& bytes);
std::optional<std::int64_t> webpTiffStart(FileBytes& bytes);
std::optional<std::int64_t> heifTiffStart(FileBytes& bytes);

// An ISO base media file: ftyp first, or a box QuickTime files begin with
// (moov, mdat, wide, free, skip, pnot, PICT, junk, uuid) of a sane size.
bool isIsoMedia(FileBytes& bytes);

// The TIFF headers of an ISO base media file's own Exif, in the order they
// are asked for a capture date: HEIF's Exif item, then a CR3 file's Exif IFD
// and its IFD0.
std::vector<std::int64_t> isoExifStarts(FileBytes& bytes);

// A QuickTime or MP4 file's capture date as "YYYY-MM-DD...": the Apple
// creation date key (local time) when there is one, else an XMP packet's
// creation date (local time), else the movie header's creation time in this
// machine's time zone (or UTC). Nothing without one.
std::optional<std::string> movieDate(FileBytes& bytes, bool utc);

}  // namespace kelvane::media
