// Byte order, the little- and big-endian readers, padding and the path check.
#include <gtest/gtest.h>

#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "platform/runtime_failure.h"
#include "scripted_message_boxes.h"

namespace kelvane {
namespace {

using testing::MemoryFileSystem;
using testing::ScriptedMessageBoxes;

// A reader whose buffer holds the given bytes (and the extra 0 behind them).
class NumberReading : public ::testing::Test {
 protected:
  void hold(std::vector<std::uint8_t> bytes) {
    files.add("f", std::move(bytes));
    probe.bytData().open(files.openForReading("f"));
  }

  RuntimeFailure parseFailure(Long pos, Integer n) {
    try {
      probe.ParseLtoR(pos, n);
    } catch (const RuntimeFailure& failure) {
      return failure;
    }
    ADD_FAILURE() << "ParseLtoR(" << pos << ", " << n << ") did not fail";
    return RuntimeFailure(0, "");
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
  ExifReaderProbe probe{reader};
};

TEST_F(NumberReading, ParseLtoRTakesTheFirstByteAsTheMostSignificant) {
  hold({0x12, 0x34, 0x00, 0x00, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00});
  EXPECT_EQ(probe.ParseLtoR(0, 2), 0x1234);
  EXPECT_EQ(probe.ParseLtoR(2, 4), 8);
  EXPECT_EQ(probe.ParseLtoR(6, 4), -1);
  EXPECT_EQ(probe.ParseLtoR(10, 4), -2147483647 - 1);
  EXPECT_EQ(probe.ParseLtoR(14, 3), 256);
  EXPECT_EQ(probe.ParseLtoR(0, 1), 0x12);
  EXPECT_EQ(probe.ParseLtoR(5, 0), 0);
  EXPECT_EQ(probe.ParseLtoR(999, -3), 0);  // the loop does not run, whatever pos holds
}

TEST_F(NumberReading, ParseLtoRFailuresNameTheParser) {
  hold({1, 2, 3, 4, 5, 6});
  const RuntimeFailure tooMany = parseFailure(0, 5);
  EXPECT_EQ(tooMany.number(), 9);
  EXPECT_EQ(tooMany.source(), "L-to-R Parse function");
  // The last index is the extra 0 at index 6; a second byte would lie past it.
  const RuntimeFailure pastTheEnd = parseFailure(6, 2);
  EXPECT_EQ(pastTheEnd.number(), 9);
  EXPECT_EQ(pastTheEnd.source(), "L-to-R Parse function");
  EXPECT_EQ(parseFailure(-1, 1).number(), 9);
  EXPECT_EQ(parseFailure(0, -32768).number(), 6);      // n − 1 overflows
}

TEST_F(NumberReading, ReadIntelTakesTheFirstByteAsTheLowest) {
  hold({0x08, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80});
  EXPECT_EQ(probe.ReadIntel(0, 4), 8);
  EXPECT_EQ(probe.ReadIntel(4, 2), 65535);
  EXPECT_EQ(probe.ReadIntel(6, 4), -2147483647 - 1);
  // The extra 0 at index L is inside the buffer; one more byte is not.
  EXPECT_EQ(probe.ReadIntel(9, 2), 0x80);
  EXPECT_THROW(probe.ReadIntel(10, 2), RuntimeFailure);
}

TEST_F(NumberReading, OnlyTheByte49IsLittleEndian) {
  hold({0x49, 0x49, 0x4D, 0x4D, 0x49, 0x4D, 0x00});
  for (const auto& [start, intel] : std::vector<std::pair<Long, bool>>{{0, true}, {2, false}, {4, true}, {6, false}}) {
    probe.lTiffStart() = start;
    EXPECT_EQ(probe.IsIntel(), intel) << "TIFF header at " << start;
  }
}

TEST_F(NumberReading, PadLeftPadsButNeverCuts) {
  EXPECT_EQ(probe.PadLeft("7", 2, "0"), "07");
  EXPECT_EQ(probe.PadLeft("", 2, "0"), "00");
  EXPECT_EQ(probe.PadLeft("FF", 2, "0"), "FF");
  EXPECT_EQ(probe.PadLeft("ABC", 2, "0"), "ABC");
}

TEST_F(NumberReading, FileLocateAcceptsAPathThatDoesNotExist) {
  EXPECT_TRUE(probe.FileLocate("/no/such/file.jpg"));
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace kelvane
