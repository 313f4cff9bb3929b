// The reader looks at a file's bytes without reading the file whole: a camera
// JPEG costs a few kilobytes, a video one page, and a file cut short while it
// is being read is a failure with a number, never a crash.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "exif/file_bytes.h"
#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "platform/runtime_failure.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
namespace fs = std::filesystem;

// Bytes this process has read through system calls so far, the read of the
// counter itself included.
std::uint64_t readCounter() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  ADD_FAILURE() << "no rchar in /proc/self/io";
  return 0;
}

// Bytes read between start() and read(), not counting the counter's own reads.
class ReadMeter {
 public:
  ReadMeter() {
    const std::uint64_t first = readCounter();
    selfCost_ = readCounter() - first;
    start_ = readCounter();
  }
  std::uint64_t read() const { return readCounter() - start_ - selfCost_; }

 private:
  std::uint64_t selfCost_ = 0;
  std::uint64_t start_ = 0;
};

int openDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char name[] = "/tmp/kelvane-lazy-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~TemporaryFolder() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::uint64_t totalSize) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  fs::resize_file(path, totalSize);  // the rest is a hole: no disk used, reads as zeros
}

TEST(LazyReading, ALargeCameraJpegCostsAFewKilobytes) {
  TemporaryFolder folder;
  const std::string path = folder.file("big.jpg");
  writeFile(path, jpegWithDate("2020:01:02 03:04:05"), 20'000'000);

  posix::PosixFileSystem files;
  ScriptedMessageBoxes boxes;
  const int descriptorsBefore = openDescriptors();
  const ReadMeter meter;
  {
    clsExifReader reader(files, boxes);
    ASSERT_TRUE(reader.Load(path));
    EXPECT_EQ(reader.Tag(36867), TagValue{std::string("2020:01:02 03:04:05")});
  }
  EXPECT_LE(meter.read(), 4096u) << "bytes read for a 20 MB photo whose Exif block fits the first page";
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST(LazyReading, AVideoCostsOnePageAndTheFileIsFreeAtOnce) {
  TemporaryFolder folder;
  const std::string path = folder.file("clip.mp4");
  writeFile(path, {0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p'}, 3ULL << 30);

  posix::PosixFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  const int descriptorsBefore = openDescriptors();
  const ReadMeter meter;
  EXPECT_FALSE(reader.Load(path));
  EXPECT_LE(meter.read(), 4096u);
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  EXPECT_EQ(std::rename(path.c_str(), folder.file("moved.mp4").c_str()), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

// Without any FF E1 the marker scan goes on to the file's last byte.
TEST(LazyReading, TheMarkerScanStillCoversTheWholeFile) {
  const std::vector<std::uint8_t> tail = jpegWithDate("2001:02:03 04:05:06");
  JpegBuilder jpeg;
  jpeg.soi().padding(5'000'000, 0xFF).raw(std::vector<std::uint8_t>(tail.begin() + 2, tail.end()));
  MemoryFileSystem files;
  files.add("late.jpg", jpeg.bytes());
  ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  ExifReaderProbe probe(reader);
  ASSERT_TRUE(reader.Load("late.jpg"));
  EXPECT_EQ(reader.Tag(36867), TagValue{std::string("2001:02:03 04:05:06")});
  // The APP0 segment in front of the Exif one starts with FF E0, not FF E1.
  EXPECT_EQ(probe.lApp1Pos(), 2 + 5'000'000 + 18);
}

TEST(LazyReading, IndexLReadsZeroAndPastItIsOutOfRange) {
  MemoryFileSystem files;
  files.add("f", std::vector<std::uint8_t>(10'000, 0xAB));
  FileBytes bytes;
  EXPECT_THROW(bytes.at(0), RuntimeFailure);  // no bounds yet
  bytes.open(files.openForReading("f"));
  EXPECT_EQ(bytes.upperBound(), 10'000);
  EXPECT_EQ(bytes.at(9'999), 0xAB);
  EXPECT_EQ(bytes.at(10'000), 0);
  for (Long outside : {-1, 10'001, 2'147'483'647}) {
    try {
      bytes.at(outside);
      ADD_FAILURE() << "index " << outside << " was read";
    } catch (const RuntimeFailure& failure) {
      EXPECT_EQ(failure.number(), 9);
    }
  }
}

TEST(LazyReading, APairAcrossAPageBoundaryIsFound) {
  std::vector<std::uint8_t> data(20'000, 0);
  data[4095] = 0xFF;
  data[4096] = 0xE1;
  MemoryFileSystem files;
  files.add("f", data);
  FileBytes bytes;
  bytes.open(files.openForReading("f"));
  EXPECT_EQ(bytes.findPair(2, 19'999, 0xFF, 0xE1), 4095);
  EXPECT_EQ(bytes.findPair(4096, 19'999, 0xFF, 0xE1), -1);
}

// A photo whose Exif block lies behind the first page, cut short by another
// program right after that page was read.
class CutShortWhileOpen : public ::testing::Test {
 protected:
  void cutAfterFirstRead(const std::vector<std::uint8_t>& bytes, std::size_t newSize) {
    files.add("cut.jpg", bytes);
    files.afterEachRead([this, newSize] { files.truncate("cut.jpg", newSize); });
  }

  MemoryFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader{files, boxes};
};

TEST_F(CutShortWhileOpen, BeforeTheHeaderIsAFailedOpen) {
  const std::vector<std::uint8_t> photo = jpegWithDate("2001:02:03 04:05:06");
  JpegBuilder jpeg;
  jpeg.soi().padding(10'000, 0).raw(std::vector<std::uint8_t>(photo.begin() + 2, photo.end()));
  cutAfterFirstRead(jpeg.bytes(), 5'000);
  EXPECT_FALSE(reader.Load("cut.jpg"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Open JPEG File");
  EXPECT_EQ(boxes.shown[0].prompt, "Error # 62 Input past end of file\n\ncut.jpg");
  EXPECT_EQ(files.openFiles(), 0);
}

TEST_F(CutShortWhileOpen, InsideTheWalkIsABoxOfTheWalk) {
  // The date text lies far behind the Exif directory, beyond the pages read.
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{36867, kAscii, 20, tiff.number(100'000)}});
  JpegBuilder jpeg;
  jpeg.soi().exif(tiff).padding(200'000).eoi();
  cutAfterFirstRead(jpeg.bytes(), 50'000);
  boxes.script({Answer::No});
  EXPECT_TRUE(reader.Load("cut.jpg"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Get Directory Entries");
  EXPECT_EQ(boxes.shown[0].prompt, "Error # 62 Input past end of file\n\nContinue anyway?");
}

TEST(PosixFiles, AFifoIsRefusedWithoutWaitingForAWriter) {
  TemporaryFolder folder;
  const std::string path = folder.file("pipe.jpg");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  posix::PosixFileSystem files;
  ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  EXPECT_FALSE(reader.Load(path));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "Open JPEG File");
  EXPECT_TRUE(boxes.shown[0].prompt.starts_with("Error # 75 ")) << boxes.shown[0].prompt;
}

TEST(PosixFiles, FailuresCarryTheFileLayersNumbers) {
  TemporaryFolder folder;
  posix::PosixFileSystem files;
  const std::vector<std::pair<std::string, int>> rows = {
      {folder.file("missing.jpg"), 53}, {folder.file("no/such/folder/a.jpg"), 53}, {folder.file(""), 75}};
  for (const auto& [path, number] : rows) {
    try {
      files.openForReading(path);
      ADD_FAILURE() << path << " opened";
    } catch (const FileFailure& failure) {
      EXPECT_EQ(failure.number(), number) << path << ": " << failure.description();
    }
  }
}

}  // namespace
}  // namespace kelvane
