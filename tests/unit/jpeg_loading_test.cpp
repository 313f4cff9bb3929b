// Load and the Exif header: which files are taken, where their TIFF block
// starts, and which are refused with or without a box.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
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

// A TIFF block whose IFD0, at `ifd0`, holds one SHORT: tag 274 with value 6.
// Bytes between the header and a later IFD0 are 0xEE, which read as an entry
// count would give tens of thousands of entries.
TiffBuilder oneShortTiff(ByteOrder order, std::uint32_t ifd0 = 8) {
  TiffBuilder tiff(order, ifd0);
  while (tiff.size() < ifd0) tiff.append({0xEE});
  tiff.directory({{274, kShort, 1, tiff.shorts(6, 0)}});
  return tiff;
}

// The Exif segment right behind the start of image: the TIFF header at 12.
Bytes jpegWith(const TiffBuilder& tiff) { return JpegBuilder().soi().exif(tiff).bytes(); }

Bytes prefix(const Bytes& bytes, std::size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

class JpegLoading : public ::testing::Test {
 protected:
  bool load(Bytes bytes) {
    files.add(kPath, std::move(bytes));
    return reader.Load(kPath);
  }

  // A refused file leaves the reader unloaded and the walk unstarted.
  void expectRefused(Bytes bytes) {
    EXPECT_FALSE(load(std::move(bytes)));
    EXPECT_FALSE(probe.bLoaded());
    EXPECT_TRUE(reader.tagRecords().empty());
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
  ExifReaderProbe probe{reader};
};

TEST_F(JpegLoading, AnEmptyPathReadsNothing) {
  EXPECT_FALSE(reader.Load(""));
  EXPECT_FALSE(probe.bLoaded());
  EXPECT_EQ(files.bytesRead(), 0u);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JpegLoading, FilesWithoutAnExifHeaderAreRefusedWithoutABox) {
  const TiffBuilder tiff = oneShortTiff(ByteOrder::Intel);
  const Bytes exifSegment = JpegBuilder().exif(tiff).bytes();
  auto before = [&](Bytes head) {
    head.insert(head.end(), exifSegment.begin(), exifSegment.end());
    return head;
  };
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"0 bytes", {}},
      {"the single byte FF", {0xFF}},
      {"start of image only", {0xFF, 0xD8}},
      {"no FF E1 anywhere", JpegBuilder().soi().app0().padding(100, 0xFF).eoi().bytes()},
      {"FF E1 as the last two bytes", JpegBuilder().soi().app0().raw({0xFF, 0xE1}).bytes()},
      {"FF 00 in front", before({0xFF, 0x00})},
      {"00 D8 in front", before({0x00, 0xD8})},
      {"another APP1 first", JpegBuilder().soi().app1("http://ns.adobe.com/xap/1.0/", {0}).exif(tiff).bytes()},
      // The scan is not segment-aware: this pair inside APP0's data is taken.
      {"FF E1 inside APP0's data", JpegBuilder().soi().raw({0xFF, 0xE0, 0x00, 0x06, 0xFF, 0xE1, 0x00, 0x00}).exif(tiff).bytes()},
      {"identifier in lower case", JpegBuilder().soi().app1(std::string("exif\0\0", 6), tiff.bytes()).bytes()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    expectRefused(c.bytes);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// Every field of the header, then the first directory's two-byte entry count
// (at 20 and 21), must lie inside the buffer, whose last index holds the 0
// behind the file's last byte.
TEST_F(JpegLoading, HeaderFieldsPastTheEndRefuseTheFile) {
  const Bytes whole = jpegWith(oneShortTiff(ByteOrder::Intel));
  for (std::size_t length = 0; length <= 20; ++length) {
    SCOPED_TRACE(length);
    expectRefused(prefix(whole, length));
  }
  EXPECT_TRUE(boxes.shown.empty());

  // 21 bytes: the count is 01 and the 0 behind it, so the walk starts; its
  // first entry lies past the end, and whatever the walk finds Load holds.
  boxes.script({Answer::No});
  EXPECT_TRUE(load(prefix(whole, 21)));
  EXPECT_TRUE(probe.bLoaded());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Get Directory Entries");
  EXPECT_EQ(reader.Tag(0), TagValue{Long{1}});
}

TEST_F(JpegLoading, TheMarkerScanPassesOverAnApp0Segment) {
  ASSERT_TRUE(load(JpegBuilder().soi().app0().exif(oneShortTiff(ByteOrder::Motorola)).padding(32).eoi().bytes()));
  EXPECT_EQ(probe.lApp1Pos(), 20);  // 2 bytes of start of image, 18 of APP0
  EXPECT_EQ(probe.lTiffStart(), 30);
  EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JpegLoading, TheTwoBytesAfterTheIdentifierAreNotExamined) {
  const TiffBuilder tiff = oneShortTiff(ByteOrder::Intel);
  ASSERT_TRUE(load(JpegBuilder().soi().app1("ExifAB", tiff.bytes()).bytes()));
  EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
}

// Only the first byte of the TIFF header decides: 0x49 is little-endian,
// anything else big-endian. Each file is laid out in the order expected, so a
// wrong choice would misread the IFD0 offset and refuse the file.
TEST_F(JpegLoading, TheFirstHeaderByteSettlesTheByteOrder) {
  const struct {
    std::uint8_t first, second;
    ByteOrder layout;
  } cases[] = {
      {0x49, 0x49, ByteOrder::Intel},
      {0x4D, 0x4D, ByteOrder::Motorola},
      {0x49, 0x4D, ByteOrder::Intel},
      {0x00, 0x00, ByteOrder::Motorola},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(int{c.first}));
    TiffBuilder tiff = oneShortTiff(c.layout);
    tiff.patchByte(0, c.first);
    tiff.patchByte(1, c.second);
    ASSERT_TRUE(load(jpegWith(tiff)));
    EXPECT_EQ(probe.lApp1Pos(), 2);
    EXPECT_EQ(probe.lTiffStart(), 12);
    EXPECT_EQ(probe.lIfdOffset(), 8);
    EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
    EXPECT_EQ(reader.Tag(0), TagValue{Long{1}});
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JpegLoading, TheIfd0OffsetIsReadInTheFilesOrderAndChecked) {
  const struct {
    const char* what;
    ByteOrder order;
    Field offset;
    std::uint32_t ifd0;  // where IFD0 is written; 0: the file is refused
  } cases[] = {
      {"big-endian 8", ByteOrder::Motorola, {0, 0, 0, 8}, 8},
      {"little-endian 8", ByteOrder::Intel, {8, 0, 0, 0}, 8},
      {"big-endian 16", ByteOrder::Motorola, {0, 0, 0, 16}, 16},
      {"little-endian 16", ByteOrder::Intel, {16, 0, 0, 0}, 16},
      {"big-endian, first byte 80", ByteOrder::Motorola, {0x80, 0, 0, 0}, 0},
      {"big-endian, start plus offset overflows", ByteOrder::Motorola, {0x7F, 0xFF, 0xFF, 0xFF}, 0},
      {"little-endian, start plus offset overflows", ByteOrder::Intel, {0xFF, 0xFF, 0xFF, 0x7F}, 0},
      {"little-endian, most negative", ByteOrder::Intel, {0, 0, 0, 0x80}, 0},
      {"little-endian -13: index -1", ByteOrder::Intel, {0xF3, 0xFF, 0xFF, 0xFF}, 0},
      {"little-endian, past the end", ByteOrder::Intel, {0, 0x10, 0, 0}, 0},
      {"big-endian, past the end", ByteOrder::Motorola, {0, 0, 0x10, 0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TiffBuilder tiff = oneShortTiff(c.order, c.ifd0 == 0 ? 8 : c.ifd0);
    for (std::size_t k = 0; k < 4; ++k) tiff.patchByte(4 + k, c.offset[k]);
    if (c.ifd0 == 0) {
      expectRefused(jpegWith(tiff));
      continue;
    }
    ASSERT_TRUE(load(jpegWith(tiff)));
    EXPECT_EQ(probe.lIfdOffset(), static_cast<Long>(c.ifd0));
    EXPECT_EQ(reader.Tag(0), TagValue{Long{1}});
    EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JpegLoading, AMissingFileShowsTheOpenBoxAndUnloadsTheReader) {
  ASSERT_TRUE(load(jpegWith(oneShortTiff(ByteOrder::Intel))));
  EXPECT_FALSE(reader.Load("/photos/missing.jpg"));
  EXPECT_FALSE(probe.bLoaded());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Open JPEG File");
  EXPECT_EQ(boxes.shown[0].prompt, "Error # 53 File not found\n\n/photos/missing.jpg");
  EXPECT_EQ(boxes.shown[0].buttons, Buttons::Ok);
  EXPECT_EQ(boxes.shown[0].icon, Icon::Critical);
}

// The segment length is always high byte first, whatever the TIFF order, and
// bounds nothing.
TEST_F(JpegLoading, TheSegmentLengthIsReadHighByteFirstAndBoundsNothing) {
  for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
    for (const auto& [high, low, length] : {std::tuple{0x12, 0x34, 0x1234}, std::tuple{0x00, 0x02, 2}}) {
      Bytes bytes = jpegWith(oneShortTiff(order));
      bytes[4] = static_cast<std::uint8_t>(high);
      bytes[5] = static_cast<std::uint8_t>(low);
      ASSERT_TRUE(load(bytes));
      EXPECT_EQ(probe.lApp1Length(), length);
      EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
    }
  }
}

TEST_F(JpegLoading, WhatTheWalkFindsDoesNotChangeTheResult) {
  TiffBuilder tiff(ByteOrder::Motorola);
  tiff.directory({{274, kShort, 1, tiff.shorts(6, 0)}}, 0x1000);  // a next link past the end
  boxes.script({Answer::No});
  EXPECT_TRUE(load(jpegWith(tiff)));
  EXPECT_TRUE(probe.bLoaded());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt, "Error # 9 Subscript out of range\n\nContinue anyway?");
  EXPECT_EQ(reader.Tag(274), TagValue{Long{6}});
}

}  // namespace
}  // namespace kelvane
