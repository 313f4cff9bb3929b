// The reader object: picFile's filter, Tag with its on-demand load, Clear and
// a reader used for several files.
#include <gtest/gtest.h>

#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;

const std::string kDateA = "2021:03:04 05:06:07", kDateB = "1999:12:31 23:59:59";

class ReaderObject : public ::testing::Test {
 protected:
  ReaderObject() {
    files.add("/photos/a.JPG", jpegWithDate(kDateA));
    files.add("/photos/b.jpg", jpegWithDate(kDateB, ByteOrder::Motorola));
    files.add("/photos/c.png", {0x89, 'P', 'N', 'G'});
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
  ExifReaderProbe probe{reader};
};

TEST_F(ReaderObject, PicFileKeepsOnlyPathsEndingInG) {
  EXPECT_TRUE(isEmpty(reader.Tag(36867)));  // nothing to load yet
  EXPECT_TRUE(isEmpty(reader.Tag(0)));
  for (const char* accepted : {"x.JPG", "x.jpeg", "x.png", "g"}) {
    reader.picFile(accepted);
    EXPECT_EQ(probe.sPicPath(), accepted);
  }
  for (const char* refused : {"x.tif", "", "x.jpg "}) {
    reader.picFile(refused);
    EXPECT_EQ(probe.sPicPath(), "g") << "refused path " << refused;
  }
  EXPECT_FALSE(probe.bLoaded());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReaderObject, TagLoadsOnDemandOnce) {
  reader.picFile("/photos/a.JPG");
  EXPECT_EQ(reader.Tag(36867), TagValue{kDateA});
  const auto readAfterFirstTag = files.bytesRead();
  EXPECT_GT(readAfterFirstTag, 0u);
  EXPECT_EQ(reader.Tag(0), TagValue{Long{2}});
  EXPECT_EQ(reader.Tag(34665), TagValue{Long{26}});
  EXPECT_TRUE(isEmpty(reader.Tag(271)));
  EXPECT_EQ(files.bytesRead(), readAfterFirstTag);
  EXPECT_TRUE(boxes.shown.empty());
}

// Each Tag tries the load again, and each failure shows both boxes.
TEST_F(ReaderObject, AFailedOnDemandLoadShowsItsBoxesOnEveryTag) {
  reader.picFile("/photos/gone.jpg");
  for (int attempt = 0; attempt < 2; ++attempt) EXPECT_TRUE(isEmpty(reader.Tag(36867)));
  std::vector<std::string> shown;
  for (const ShownBox& box : boxes.shown) {
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.icon, Icon::Critical);
    shown.push_back("[" + box.title + "] " + box.prompt);
  }
  const std::string open = "[Open JPEG File] Error # 53 File not found\n\n/photos/gone.jpg";
  const std::string cannot = "[Get JPEG file tag] Cannot load file\n\n/photos/gone.jpg";
  EXPECT_EQ(shown, (std::vector<std::string>{open, cannot, open, cannot}));
}

// Reusing a reader for another file starts afresh: no value of the first file
// can be taken for the second's. An empty path reads nothing and changes
// nothing; Clear drops the bytes but keeps the tags.
TEST_F(ReaderObject, EachLoadForgetsTheFileBefore) {
  ASSERT_TRUE(reader.Load("/photos/a.JPG"));
  const auto bytesRead = files.bytesRead();
  EXPECT_FALSE(reader.Load(""));
  EXPECT_EQ(files.bytesRead(), bytesRead);
  EXPECT_TRUE(probe.bLoaded());
  EXPECT_EQ(reader.Tag(36867), TagValue{kDateA});

  ASSERT_TRUE(reader.Load("/photos/b.jpg"));
  reader.Clear();
  EXPECT_EQ(probe.bytData().upperBound(), 1);
  EXPECT_EQ(probe.bytData().at(1), 0);
  EXPECT_EQ(reader.Tag(0), TagValue{Long{2}});
  EXPECT_EQ(reader.Tag(36867), TagValue{kDateB});
  EXPECT_FALSE(reader.Load("/photos/c.png"));
  EXPECT_TRUE(reader.tagRecords().empty());
  EXPECT_EQ(files.openFiles(), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace kelvane
