// Builds TIFF blocks, JPEG files and the raw files that wrap them byte by byte, with every field named, so
// that tests can describe well-formed and damaged files alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::testing {

enum class ByteOrder { Intel, Motorola };

// TIFF field types.
enum FieldType : std::uint16_t {
  kByte = 1,
  kAscii = 2,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kSByte = 6,
  kUndefined = 7,
  kSShort = 8,
  kSLong = 9,
  kSRational = 10,
  kFloat = 11,
  kDouble = 12,
};

using Field = std::array<std::uint8_t, 4>;  // a value field's bytes in file order

struct DirectoryEntry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  Field field;
};

class TiffBuilder {
 public:
  // Writes the header: byte-order mark, 42, and the IFD0 offset.
  explicit TiffBuilder(ByteOrder order, std::uint32_t ifd0Offset = 8);

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  // A value field holding a number in the file's byte order.
  Field number(std::uint32_t value) const;
  // A value field holding two 16-bit numbers in the file's byte order.
  Field shorts(std::uint16_t first, std::uint16_t second) const;
  // A value field holding bytes as they stand.
  static Field raw(std::uint8_t b0, std::uint8_t b1 = 0, std::uint8_t b2 = 0, std::uint8_t b3 = 0);

  // Appends at the end; each returns the offset (from the TIFF start) where it wrote.
  std::size_t u16(std::uint16_t value);
  std::size_t u32(std::uint32_t value);
  std::size_t append(const std::vector<std::uint8_t>& data);
  std::size_t text(const std::string& data);  // the characters, no terminator

  // A directory: entry count, entries, next link.
  std::size_t directory(const std::vector<DirectoryEntry>& entries, std::uint32_t nextLink = 0);

  // Overwrites bytes already written.
  void patch32(std::size_t offset, std::uint32_t value);
  void patchByte(std::size_t offset, std::uint8_t value) { bytes_.at(offset) = value; }

 private:
  std::array<std::uint8_t, 2> encode16(std::uint16_t value) const;
  Field encode32(std::uint32_t value) const;

  ByteOrder order_;
  std::vector<std::uint8_t> bytes_;
};

class JpegBuilder {
 public:
  JpegBuilder& soi();   // FF D8
  JpegBuilder& app0();  // a JFIF APP0 segment
  JpegBuilder& app1(const std::string& identifier, const std::vector<std::uint8_t>& payload);
  JpegBuilder& exif(const TiffBuilder& tiff);  // APP1 "Exif\0\0" + TIFF block
  JpegBuilder& raw(const std::vector<std::uint8_t>& data);
  JpegBuilder& padding(std::size_t count, std::uint8_t fill = 0);  // image data stand-in
  JpegBuilder& eoi();                                              // FF D9

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A plain JPEG (APP0 first) whose Exif block holds IFD0 with the Exif pointer
// and an Exif directory with DateTimeOriginal.
std::vector<std::uint8_t> jpegWithDate(const std::string& dateTime, ByteOrder order = ByteOrder::Intel);

// The TIFF block of that JPEG: IFD0 pointing to an Exif directory that holds
// only the capture date.
TiffBuilder tiffWithDate(const std::string& dateTime, ByteOrder order = ByteOrder::Intel);

// A Fujifilm RAF: its header, then the embedded JPEG at the offset the header
// gives (by default right behind it) with the length it gives (by default the
// JPEG's own), then raw data.
std::vector<std::uint8_t> rafWith(const std::vector<std::uint8_t>& jpeg,
                                  std::optional<std::uint32_t> offset = {},
                                  std::optional<std::uint32_t> length = {});

// A Minolta MRW: header blocks around the TIFF block, whose length the TTW
// block gives (by default its own), then the image data.
std::vector<std::uint8_t> mrwWith(const std::vector<std::uint8_t>& tiff,
                                  std::optional<std::uint32_t> tiffLength = {});

// A record of a Canon CIFF heap: its type and its data, which lies in the
// heap (a heap of its own for the types 0x28xx and 0x30xx).
struct CiffRecord {
  std::uint16_t type;
  std::vector<std::uint8_t> data;
};

// A CIFF heap: the records' data, then the table (a 16-bit count and for
// each record its type, size and offset), then the table's offset.
std::vector<std::uint8_t> ciffHeap(const std::vector<CiffRecord>& records);

// A Canon CRW: its header, then a root heap holding the image properties,
// which hold the Exif information, which holds the time stamp record: the
// seconds since 1970, a time zone code and its information.
std::vector<std::uint8_t> crwWith(std::uint32_t seconds);
std::vector<std::uint8_t> crwWith(const std::vector<std::uint8_t>& rootHeap);

}  // namespace kelvane::testing
