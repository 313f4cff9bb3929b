// The reader looks at a file's bytes without reading the file whole: a camera
// JPEG costs a few kilobytes, a video one page, and a file cut short while it
// is being read is a failure with a number, never a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <utility>

#include "exif/file_bytes.h"
#include "exif_reader_probe.h"
#include "memory_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "scripted_message_boxes.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using namespace kelvane::testing;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const std::string kDate = "2001:02:03 04:05:06";

// Bytes this process had read through system calls before this look, and
// the bytes the look itself read.
std::pair<std::uint64_t, std::uint64_t> readCounter() {
  std::ifstream io("/proc/self/io");
  const std::string text{std::istreambuf_iterator<char>(io), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(text.starts_with("rchar: ")) << text;
  return {std::stoull(text.substr(7)), text.size()};
}

int openDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

struct TemporaryFolder {
  TemporaryFolder() {
    char name[] = "/tmp/kelvane-lazy-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~TemporaryFolder() { fs::remove_all(path); }
  std::string path;
};

// A photo whose Exif block lies behind `padding` bytes of image data.
Bytes latePhoto(std::size_t padding, std::uint8_t fill) {
  const Bytes photo = jpegWithDate(kDate);
  return JpegBuilder().soi().padding(padding, fill).raw(Bytes(photo.begin() + 2, photo.end())).bytes();
}

// Both files hold all they have to say in their first page; the rest of each
// is a hole, which takes no disk and reads as zeros.
TEST(LazyReading, LargeFilesCostOnlyTheBytesLookedAt) {
  const struct {
    const char* name;
    Bytes head;
    std::uintmax_t size;
    std::size_t records;
  } cases[] = {
      {"big.jpg", jpegWithDate(kDate), 20'000'000, 2},
      {"clip.mp4", {0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p'}, 3ULL << 30, 0},
  };
  TemporaryFolder folder;
  posix::PosixFileSystem files;
  ScriptedMessageBoxes boxes;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.path + "/" + c.name;
    std::ofstream(path).write(reinterpret_cast<const char*>(c.head.data()), std::streamsize(c.head.size()));
    fs::resize_file(path, c.size);
    const int descriptorsBefore = openDescriptors();
    const auto [start, counterCost] = readCounter();
    clsExifReader reader(files, boxes);
    EXPECT_EQ(reader.Load(path), c.records > 0);
    EXPECT_EQ(reader.tagRecords().size(), c.records);
    EXPECT_LE(readCounter().first - start - counterCost, 4096u);
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// Without any FF E1 in the first megabytes the scan goes on, passing over the
// APP0 segment (FF E0) in front of the Exif one; a pair across two pages is found.
TEST(LazyReading, TheMarkerScanCoversTheWholeFile) {
  MemoryFileSystem files;
  files.add("late.jpg", latePhoto(5'000'000, 0xFF));
  ScriptedMessageBoxes boxes;
  clsExifReader reader(files, boxes);
  ASSERT_TRUE(reader.Load("late.jpg"));
  EXPECT_EQ(reader.Tag(36867), TagValue{kDate});
  EXPECT_EQ(ExifReaderProbe(reader).lApp1Pos(), 2 + 5'000'000 + 18);

  Bytes data(20'000, 0);
  data[4095] = 0xFF;
  data[4096] = 0xE1;
  files.add("f", data);
  FileBytes bytes;
  bytes.open(files.openForReading("f"));
  EXPECT_EQ(bytes.findPair(2, 19'999, 0xFF, 0xE1), 4095);
  EXPECT_EQ(bytes.findPair(4096, 19'999, 0xFF, 0xE1), -1);
}

// The scan finds what testing every place in turn finds, wherever the pair
// lies: inside one read, across two reads (the reads start at 4,096 and 20,480
// here), at the last place it may start, after it, or nowhere.
TEST(LazyReading, TheMarkerScanFindsWhatTestingEveryPlaceFinds) {
  std::mt19937 random(7);
  const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const std::vector<std::size_t> edges = {0, 1, 2, 4094, 4095, 4096, 20'478, 20'479, 20'480, 40'000};
  MemoryFileSystem files;
  for (int round = 0; round < 150; ++round) {
    Bytes data(1 + below(60'000));
    for (auto& byte : data) byte = static_cast<std::uint8_t>(below(4) == 0 ? 0xFF : random());
    for (std::size_t k = 0; k + 1 < data.size(); ++k) {
      if (data[k] == 0xFF && data[k + 1] == 0xE1) data[k + 1] = 0xE0;  // near misses only
    }
    std::size_t planted = data.size();
    for (std::size_t pairs = below(3); pairs > 0; --pairs) {
      planted = below(2) == 0 ? edges[below(edges.size())] : below(data.size());
      if (planted < data.size()) data[planted] = 0xFF;
      if (planted + 1 < data.size()) data[planted + 1] = 0xE1;
    }
    const auto size = static_cast<Long>(data.size());
    const Long from = static_cast<Long>(below(3)) - 1;
    const std::size_t lastChoice = below(3);
    const Long last = lastChoice == 0   ? size
                      : lastChoice == 1 ? static_cast<Long>(std::min(planted, data.size()))
                                        : static_cast<Long>(below(data.size()));
    files.add("f", data);
    FileBytes expected;
    expected.open(files.openForReading("f"));
    Long firstPlace = -1;
    for (Long k = std::max<Long>(from, 0); k <= std::min<Long>(last, size - 1) && firstPlace < 0; ++k) {
      if (expected.at(k) == 0xFF && expected.at(k + 1) == 0xE1) firstPlace = k;
    }
    FileBytes bytes;
    bytes.open(files.openForReading("f"));
    EXPECT_EQ(bytes.findPair(from, last, 0xFF, 0xE1), firstPlace)
        << "round " << round << ", " << size << " bytes, from " << from << " to " << last;
  }
}

// A file the read-ahead scanned already is not scanned again: the reader
// takes where the pair lies, within the bounds it asks for.
TEST(LazyReading, TheMarkerScanTakesWhatTheReadAheadFound) {
  struct Zeros : RandomAccessFile {
    Zeros(std::optional<std::int64_t> scanned, int& readCount) : pair(scanned), reads(readCount) {}
    std::int64_t size() const override { return 1'000'000; }
    std::size_t readAt(std::int64_t /*offset*/, std::span<std::uint8_t> out) override {
      ++reads;
      std::fill(out.begin(), out.end(), std::uint8_t{0});
      return out.size();
    }
    EntryIdentity entry() const override { return {}; }
    std::optional<std::int64_t> scannedMarkerPair() const override { return pair; }
    std::optional<std::int64_t> pair;
    int& reads;
  };
  const auto scan = [](std::optional<std::int64_t> pair, Long last) {
    int reads = 0;
    FileBytes bytes;
    bytes.open(std::make_unique<Zeros>(pair, reads));
    return std::pair(bytes.findMarkerPair(last), reads);
  };
  EXPECT_EQ(scan(500'000, 999'998), std::pair(500'000, 0));
  EXPECT_EQ(scan(500'000, 499'999), std::pair(-1, 0));
  EXPECT_EQ(scan(-1, 999'998), std::pair(-1, 0));
  EXPECT_EQ(scan(std::nullopt, 999'998).first, -1);
  EXPECT_GT(scan(std::nullopt, 999'998).second, 0) << "a file not scanned before is read";
}

// Another program cuts the file short right after the first page was read.
TEST(LazyReading, AFileCutShortWhileOpenIsInputPastItsEnd) {
  TiffBuilder tiff(ByteOrder::Intel);
  tiff.directory({{34665, kLong, 1, tiff.number(26)}});
  tiff.directory({{36867, kAscii, 20, tiff.number(100'000)}});  // the date far behind the first page
  const struct {
    const char* what;
    Bytes bytes;
    std::size_t cut;
    bool loads;
    std::string title, prompt;
  } cases[] = {
      {"before the header: a failed open", latePhoto(10'000, 0), 5'000, false, "Open JPEG File",
       "Error # 62 Input past end of file\n\ncut.jpg"},
      {"inside the walk: a box of the walk", JpegBuilder().soi().exif(tiff).padding(200'000).bytes(), 50'000,
       true, "Get Directory Entries", "Error # 62 Input past end of file\n\nContinue anyway?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem files;
    ScriptedMessageBoxes boxes(Answer::No);
    files.add("cut.jpg", c.bytes);
    files.afterEachRead([&files, &c] { files.truncate("cut.jpg", c.cut); });
    clsExifReader reader(files, boxes);
    EXPECT_EQ(reader.Load("cut.jpg"), c.loads);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, c.title);
    EXPECT_EQ(boxes.shown[0].prompt, c.prompt);
    EXPECT_EQ(files.openFiles(), 0);
  }
}

TEST(LazyReading, AFifoOrAFolderIsRefusedWithoutWaiting) {
  TemporaryFolder folder;
  const std::string fifo = folder.path + "/pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  posix::PosixFileSystem files;
  for (const std::string& path : {fifo, folder.path}) {
    ScriptedMessageBoxes boxes;
    clsExifReader reader(files, boxes);
    EXPECT_FALSE(reader.Load(path));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Open JPEG File");
    EXPECT_TRUE(boxes.shown[0].prompt.starts_with("Error # 75 ")) << boxes.shown[0].prompt;
  }
}

}  // namespace
}  // namespace kelvane
