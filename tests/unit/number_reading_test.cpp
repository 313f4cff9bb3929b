// The little- and big-endian readers on a buffer of known bytes.
#include <gtest/gtest.h>

#include <tuple>

#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "platform/runtime_failure.h"
#include "scripted_message_boxes.h"

namespace kelvane {
namespace {

// ParseLtoR takes the first byte as the most significant, ReadIntel as the
// least; the extra 0 at index L = 17 is inside the buffer, one more byte is not.
TEST(NumberReading, BothOrdersReadSignedLongs) {
  testing::MemoryFileSystem files;
  files.add("f", {0x12, 0x34, 0, 0, 0, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0x01, 0x80});
  testing::ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  ExifReaderProbe probe(reader);
  probe.bytData().open(files.openForReading("f"));
  EXPECT_EQ(probe.ParseLtoR(0, 2), 0x1234);
  EXPECT_EQ(probe.ParseLtoR(2, 4), 8);
  EXPECT_EQ(probe.ParseLtoR(6, 4), -1);
  EXPECT_EQ(probe.ParseLtoR(10, 4), -2147483647 - 1);
  EXPECT_EQ(probe.ParseLtoR(14, 3), 0x0180);
  EXPECT_EQ(probe.ParseLtoR(999, 0), 0);  // the loop does not run, whatever pos holds
  EXPECT_EQ(probe.ReadIntel(2, 4), 0x08000000);
  EXPECT_EQ(probe.ReadIntel(6, 2), 65535);
  EXPECT_EQ(probe.ReadIntel(7, 4), -2130706433);  // 0x80FFFFFF
  EXPECT_EQ(probe.ReadIntel(16, 2), 0x80);
  EXPECT_THROW(probe.ReadIntel(17, 2), RuntimeFailure);

  // Five bytes do not fit a Long; n - 1 overflows an Integer.
  for (const auto& [pos, n, number] : {std::tuple{0, 5, 9}, {17, 2, 9}, {-1, 1, 9}, {0, -32768, 6}}) {
    try {
      probe.ParseLtoR(pos, static_cast<Integer>(n));
      ADD_FAILURE() << "ParseLtoR(" << pos << ", " << n << ") did not fail";
    } catch (const RuntimeFailure& failure) {
      EXPECT_EQ(failure.number(), number) << pos << ", " << n;
      EXPECT_EQ(failure.source(), "L-to-R Parse function");
    }
  }
}

}  // namespace
}  // namespace kelvane
