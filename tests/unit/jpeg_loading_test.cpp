// Load and the Exif header: which files are taken, where their TIFF block
// starts, and which are refused without a box.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr char kPath[] = "/photos/x.jpg";

// IFD0 at `ifd0` holds one SHORT: tag 274 with value 6. Bytes between the
// header and a later IFD0 are 0xEE, which as an entry count would be huge.
TiffBuilder oneShort(ByteOrder order, std::uint32_t ifd0 = 8) {
  TiffBuilder tiff(order, ifd0);
  while (tiff.size() < ifd0) tiff.append({0xEE});
  tiff.directory({{274, kShort, 1, tiff.shorts(6, 0)}});
  return tiff;
}

// The Exif segment right behind the start of image (TIFF header at 12), the
// header's first bytes overwritten.
Bytes jpegWith(ByteOrder order, Bytes header = {}, std::uint32_t ifd0 = 8) {
  TiffBuilder tiff = oneShort(order, ifd0);
  for (std::size_t k = 0; k < header.size(); ++k) tiff.patchByte(k, header[k]);
  return JpegBuilder().soi().exif(tiff).bytes();
}

// Only the first byte of the TIFF header settles the order: 0x49 is
// little-endian, anything else big-endian. Each file is laid out in the order
// expected, so a wrong choice would misread the IFD0 offset and refuse it.
TEST(JpegLoading, OnlyFilesWithAnExifHeaderAndIfd0InsideAreTaken) {
  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  auto load = [&](const Bytes& bytes) {
    files.add(kPath, bytes);
    return reader.Load(kPath);
  };
  const ByteOrder I = ByteOrder::Intel, M = ByteOrder::Motorola;
  const TiffBuilder tiff = oneShort(I);
  const Bytes segment = JpegBuilder().exif(tiff).bytes(), whole = jpegWith(I);
  auto before = [&](Bytes head) {
    head.insert(head.end(), segment.begin(), segment.end());
    return head;
  };
  Bytes shortLength = whole;
  shortLength[4] = 0;  // the length is read high byte first and bounds nothing
  shortLength[5] = 2;
  shortLength[10] = 'A';  // the two bytes after "Exif" are not examined
  struct Case {
    std::string what;
    Bytes bytes;
    std::uint32_t ifd0;
  };  // ifd0 0: refused
  std::vector<Case> cases = {
      {"no FF E1 anywhere", JpegBuilder().soi().app0().padding(100, 0xFF).eoi().bytes(), 0},
      {"FF 00 in front", before({0xFF, 0x00}), 0},
      {"00 D8 in front", before({0x00, 0xD8}), 0},
      {"another APP1 first", JpegBuilder().soi().app1("http://ns.adobe.com/xap/1.0/", {0}).exif(tiff).bytes(),
       0},
      {"FF E1 inside APP0's data", before({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x06, 0xFF, 0xE1, 0x00, 0x00}), 0},
      {"identifier in lower case", JpegBuilder().soi().app1(std::string("exif\0\0", 6), tiff.bytes()).bytes(),
       0},
      {"segment length 2, ExifA", shortLength, 8},
      {"IM is little-endian", jpegWith(I, {0x49, 0x4D, 0, 0, 8, 0, 0, 0}), 8},
      {"00 is big-endian", jpegWith(M, {0, 0, 0, 0, 0, 0, 0, 8}), 8},
      {"little-endian 16", jpegWith(I, {'I', 'I', 0, 0, 16, 0, 0, 0}, 16), 16},
      {"big-endian 16", jpegWith(M, {'M', 'M', 0, 0, 0, 0, 0, 16}, 16), 16},
      {"big-endian, first byte 80", jpegWith(M, {'M', 'M', 0, 0, 0x80, 0, 0, 0}), 0},
      {"big-endian, start plus offset overflows", jpegWith(M, {'M', 'M', 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}), 0},
      {"little-endian, start plus offset overflows", jpegWith(I, {'I', 'I', 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}),
       0},
      {"little-endian -13: index -1", jpegWith(I, {'I', 'I', 0, 0, 0xF3, 0xFF, 0xFF, 0xFF}), 0},
      {"little-endian, past the end", jpegWith(I, {'I', 'I', 0, 0, 0, 0x10, 0, 0}), 0},
      {"big-endian, past the end", jpegWith(M, {'M', 'M', 0, 0, 0, 0, 0x10, 0}), 0},
  };
  // Every header field, then IFD0's entry count (at 20 and 21), must lie
  // inside the buffer, whose last index holds the 0 behind the file.
  for (std::size_t length = 0; length <= 20; ++length) {
    cases.push_back(
        {"cut to " + std::to_string(length), Bytes(whole.begin(), whole.begin() + long(length)), 0});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load(c.bytes), c.ifd0 != 0);
    EXPECT_EQ(ExifReaderProbe(reader).bLoaded(), c.ifd0 != 0);
    if (c.ifd0 == 0) {
      EXPECT_TRUE(reader.tagRecords().empty());
      continue;
    }
    EXPECT_EQ(ExifReaderProbe(reader).lIfdOffset(), Long(c.ifd0));
    EXPECT_EQ(reader.Tag(0), TagValue{Long{1}});
    EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
  }
  EXPECT_TRUE(boxes.shown.empty());

  // 21 bytes: the count is 01 and the 0 behind it, so the walk starts; its
  // first entry lies past the end, and whatever the walk finds Load holds.
  boxes.script({Answer::No});
  EXPECT_TRUE(load(Bytes(whole.begin(), whole.begin() + 21)));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Get Directory Entries");
  EXPECT_EQ(reader.Tag(0), TagValue{Long{1}});
}

}  // namespace
}  // namespace kelvane
