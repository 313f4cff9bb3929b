// The reader object: picFile's filter, Tag with its on-demand load, Clear.
#include <gtest/gtest.h>

#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;

class ReaderObject : public ::testing::Test {
 protected:
  ReaderObject() {
    files.add("/photos/a.JPG", jpegWithDate("2021:03:04 05:06:07"));
    files.add("/photos/b.jpg", jpegWithDate("1999:12:31 23:59:59", ByteOrder::Motorola));
    files.add("/photos/c.png", {0x89, 'P', 'N', 'G'});
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
  ExifReaderProbe probe{reader};
};

TEST_F(ReaderObject, ANewReaderAnswersEmptyWithoutABox) {
  EXPECT_TRUE(isEmpty(reader.Tag(36867)));
  EXPECT_TRUE(isEmpty(reader.Tag(0)));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReaderObject, PicFileKeepsOnlyPathsEndingInG) {
  for (const char* accepted : {"x.JPG", "x.jpeg", "x.png", "g"}) {
    reader.picFile(accepted);
    EXPECT_EQ(probe.sPicPath(), accepted);
  }
  for (const char* refused : {"x.tif", "", "x.jpg "}) {
    reader.picFile(refused);
    EXPECT_EQ(probe.sPicPath(), "g") << "refused path " << refused;
  }
  EXPECT_FALSE(probe.bLoaded());
}

TEST_F(ReaderObject, TagLoadsOnDemandOnce) {
  reader.picFile("/photos/a.JPG");
  EXPECT_EQ(reader.Tag(36867), TagValue{std::string("2021:03:04 05:06:07")});
  EXPECT_EQ(files.bytesRead() > 0, true);
  const auto readAfterFirstTag = files.bytesRead();
  EXPECT_EQ(reader.Tag(0), TagValue{Long{2}});
  EXPECT_EQ(reader.Tag(34665), TagValue{Long{26}});
  EXPECT_TRUE(isEmpty(reader.Tag(271)));
  EXPECT_EQ(files.bytesRead(), readAfterFirstTag);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReaderObject, AFailedOnDemandLoadShowsItsBoxOnEveryTag) {
  reader.picFile("/photos/c.png");
  for (int attempt = 0; attempt < 2; ++attempt) EXPECT_TRUE(isEmpty(reader.Tag(36867)));
  ASSERT_EQ(boxes.shown.size(), 2u);
  for (const ShownBox& box : boxes.shown) {
    EXPECT_EQ(box.title, "Get JPEG file tag");
    EXPECT_EQ(box.prompt, "Cannot load file\n\n/photos/c.png");
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.icon, Icon::Critical);
  }
}

TEST_F(ReaderObject, AMissingFileShowsTheOpenBoxFirst) {
  reader.picFile("/photos/gone.jpg");
  EXPECT_TRUE(isEmpty(reader.Tag(36867)));
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].title, "Open JPEG File");
  EXPECT_EQ(boxes.shown[0].prompt, "Error # 53 File not found\n\n/photos/gone.jpg");
  EXPECT_EQ(boxes.shown[1].title, "Get JPEG file tag");
}

TEST_F(ReaderObject, ClearDropsTheBytesButKeepsTheTags) {
  ASSERT_TRUE(reader.Load("/photos/b.jpg"));
  reader.Clear();
  EXPECT_EQ(probe.bytData().upperBound(), 1);
  EXPECT_EQ(probe.bytData().at(0), 0);
  EXPECT_EQ(probe.bytData().at(1), 0);
  EXPECT_EQ(reader.Tag(36867), TagValue{std::string("1999:12:31 23:59:59")});
}

TEST_F(ReaderObject, LoadWithAnEmptyPathKeepsTheOldTable) {
  ASSERT_TRUE(reader.Load("/photos/a.JPG"));
  EXPECT_FALSE(reader.Load(""));
  EXPECT_TRUE(probe.bLoaded());
  EXPECT_EQ(reader.Tag(36867), TagValue{std::string("2021:03:04 05:06:07")});
  EXPECT_TRUE(boxes.shown.empty());
}

// Reusing a reader for another file starts afresh: no value of the first file
// can be taken for the second's.
TEST_F(ReaderObject, ASecondLoadForgetsTheFirstFile) {
  ASSERT_TRUE(reader.Load("/photos/a.JPG"));
  ASSERT_TRUE(reader.Load("/photos/b.jpg"));
  EXPECT_EQ(reader.Tag(0), TagValue{Long{2}});
  EXPECT_EQ(reader.Tag(36867), TagValue{std::string("1999:12:31 23:59:59")});
  EXPECT_FALSE(reader.Load("/photos/c.png"));
  EXPECT_TRUE(isEmpty(reader.Tag(36867)));
}

TEST_F(ReaderObject, TheFileIsClosedWhenLoadReturns) {
  ASSERT_TRUE(reader.Load("/photos/a.JPG"));
  EXPECT_EQ(files.openFiles(), 0);
  EXPECT_FALSE(reader.Load("/photos/c.png"));
  EXPECT_EQ(files.openFiles(), 0);
}

}  // namespace
}  // namespace kelvane
