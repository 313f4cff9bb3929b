// The read-ahead pool on a real disk, where the page cache shows what it
// fetched: the first pages of the files just ahead of the run, the whole of a
// JPEG the reader will scan to its end (and where that scan ends), and nothing
// else; never through a link, never stuck on a FIFO.
#include "platform/posix/read_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "disk_files.h"
#include "platform/posix/descriptor.h"
#include "tiff_builder.h"

namespace kelvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kSize = 2 * 1024 * 1024;

Bytes paddedTo(Bytes bytes) {
  bytes.resize(kSize, 0);  // zeros hold no FF E1 pair
  return bytes;
}

Bytes exifJpeg() { return paddedTo(testing::jpegWithDate("2021:03:04 05:06:07")); }
Bytes jpegWithoutExif() { return paddedTo({0xFF, 0xD8, 0xFF, 0xDB}); }
Bytes notAJpeg() { return paddedTo({'n', 'o', 't'}); }

std::size_t residentBytes(const std::string& path) {
  const posix::Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  void* const mapping = ::mmap(nullptr, kSize, PROT_READ, MAP_SHARED, fd.get(), 0);
  EXPECT_NE(mapping, MAP_FAILED);
  std::vector<unsigned char> pages(kSize / 4096);
  EXPECT_EQ(::mincore(mapping, kSize, pages.data()), 0);
  ::munmap(mapping, kSize);
  std::size_t resident = 0;
  for (const unsigned char page : pages) resident += (page & 1) * 4096;
  return resident;
}

// Drops the file's pages; false where the file system keeps them anyway. A
// page the kernel has not put on its lists yet stays once: try again.
bool evict(const std::string& path) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    const posix::Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ::fdatasync(fd.get());
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (residentBytes(path) == 0) return true;
  }
  return false;
}

struct ColdFolder {
  testing::TemporaryFolder root;
  NameList names;
  posix::Descriptor fd;

  std::string at(std::string_view name) const { return root.path() + "/" + std::string(name); }

  // Files f00..fNN: a JPEG without Exif at 1, a file of another kind at 2,
  // JPEGs with their Exif block up front elsewhere; none in the page cache.
  bool make(std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
      names.add((k < 10 ? "f0" : "f") + std::to_string(k));
      testing::writeBytes(at(names[k]), k == 1 ? jpegWithoutExif() : k == 2 ? notAJpeg() : exifJpeg());
    }
    fd = posix::Descriptor(::open(root.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t k = 0; k < count; ++k) {
      if (!evict(at(names[k]))) return false;
    }
    return true;
  }
};

TEST(ReadAhead, FetchesWhatTheReaderWillReadOfTheFilesJustAhead) {
  constexpr std::size_t kAhead = posix::ReadAhead::kFilesAhead;
  ColdFolder folder;
  if (!folder.make(kAhead + 6)) GTEST_SKIP() << "this file system keeps every page in memory";
  posix::ReadAhead readAhead(folder.fd.get());
  readAhead.readingNext(folder.names, 0);
  readAhead.waitUntilIdle();
  const auto resident = [&](std::size_t k) { return residentBytes(folder.at(folder.names[k])); };
  EXPECT_EQ(resident(0), 0u) << "the file the run reads itself";
  EXPECT_EQ(resident(1), kSize) << "a JPEG the reader scans to its end";
  for (std::size_t k = 2; k <= kAhead; ++k) {
    EXPECT_GT(resident(k), 0u) << folder.names[k];
    EXPECT_LT(resident(k), kSize / 4) << folder.names[k] << ": no more than its first pages";
  }
  for (std::size_t k = kAhead + 1; k < folder.names.size(); ++k) {
    EXPECT_EQ(resident(k), 0u) << folder.names[k] << " is further ahead than the pool reads";
  }

  readAhead.readingNext(folder.names, 6);
  readAhead.waitUntilIdle();
  for (std::size_t k = kAhead + 1; k < folder.names.size(); ++k) EXPECT_GT(resident(k), 0u);
}

// The pool scans a JPEG whose first page holds no FF E1 pair as the reader
// would, and the reader may take what it found, for that same content only.
TEST(ReadAhead, KeepsWhatItsScanFoundForTheSameContentOnly) {
  testing::TemporaryFolder root;
  const auto at = [&](const std::string& name) { return root.path() + "/" + name; };
  const auto pairAt = [](std::size_t index) {
    Bytes bytes = jpegWithoutExif();
    bytes[index] = 0xFF;
    bytes[index + 1] = 0xE1;
    return bytes;
  };
  const NameList names = {"0-read-by-the-run", "a-late-pair",     "b-no-pair",          "c-written-since",
                          "d-exif-up-front",   "e-across-blocks", "f-across-first-page"};
  for (const char* name : {"0-read-by-the-run", "b-no-pair", "c-written-since"}) {
    testing::writeBytes(at(name), jpegWithoutExif());
  }
  testing::writeBytes(at("a-late-pair"), pairAt(100'000));
  testing::writeBytes(at("d-exif-up-front"), exifJpeg());
  testing::writeBytes(at("e-across-blocks"),
                      pairAt(4095 + 65'535));  // the scan reads 64 KiB blocks from 4,095
  testing::writeBytes(at("f-across-first-page"), pairAt(4095));
  // Modified an hour ago and changed (by that) longer ago than a step of the
  // clock that stamps changes, as photos are, so that the scan may count.
  const timespec anHourAgo{::time(nullptr) - 3600, 0};
  const std::array<timespec, 2> times{anHourAgo, anHourAgo};
  for (std::size_t k = 0; k < names.size(); ++k) {
    ASSERT_EQ(::utimensat(AT_FDCWD, at(std::string(names[k])).c_str(), times.data(), 0), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  const posix::Descriptor fd(::open(root.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  posix::ReadAhead readAhead(fd.get());
  readAhead.readingNext(names, 0);
  readAhead.waitUntilIdle();
  testing::writeBytes(at("c-written-since"), pairAt(100'000));

  const auto scanned = [&](const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::stat(at(name).c_str(), &info), 0);
    return readAhead.scannedMarkerPair(info);
  };
  EXPECT_EQ(scanned("0-read-by-the-run"), std::nullopt);
  EXPECT_EQ(scanned("a-late-pair"), std::optional<std::int64_t>(100'000));
  EXPECT_EQ(scanned("b-no-pair"), std::optional<std::int64_t>(-1));
  EXPECT_EQ(scanned("c-written-since"), std::nullopt);
  EXPECT_EQ(scanned("d-exif-up-front"), std::nullopt);
  EXPECT_EQ(scanned("e-across-blocks"), std::optional<std::int64_t>(4095 + 65'535));
  EXPECT_EQ(scanned("f-across-first-page"), std::optional<std::int64_t>(4095));
}

TEST(ReadAhead, AScanCountsOnlyForAFileChangedLongEnoughBefore) {
  using posix::ReadAhead;
  // Changed at 100 s, modified at 99 s.
  struct stat before {};
  before.st_size = 1000;
  before.st_ctim = {100, 0};
  before.st_mtim = {99, 0};
  const auto startedAfter = [](std::int64_t ns) {
    const std::int64_t at = 100'000'000'000 + ns;
    return timespec{static_cast<time_t>(at / 1'000'000'000), static_cast<long>(at % 1'000'000'000)};
  };
  const std::int64_t modificationMargin = ReadAhead::kModificationStepNs - 1'000'000'000;
  const timespec late = startedAfter(std::max(ReadAhead::kChangeStepNs, modificationMargin) + 1);
  EXPECT_TRUE(ReadAhead::unchangedSince(before, before, late));
  EXPECT_FALSE(ReadAhead::unchangedSince(before, before, startedAfter(ReadAhead::kChangeStepNs)))
      << "changed within a clock step before the scan";
  EXPECT_FALSE(ReadAhead::unchangedSince(before, before, startedAfter(modificationMargin)))
      << "modified within a clock step before the scan";
  for (const auto& change : std::vector<std::function<void(struct stat&)>>{
           [](struct stat& s) { s.st_size = 1001; },
           [](struct stat& s) { s.st_ctim.tv_nsec = 1; },
           [](struct stat& s) { s.st_mtim.tv_nsec = 1; },
       }) {
    struct stat after = before;
    change(after);
    EXPECT_FALSE(ReadAhead::unchangedSince(before, after, late));
  }
}

TEST(ReadAhead, NeverFollowsALinkNorWaitsOnAFifo) {
  ColdFolder folder;
  testing::TemporaryFolder outside;
  const std::string target = outside.path() + "/photo.jpg";
  testing::writeBytes(target, jpegWithoutExif());
  if (!folder.make(1) || !evict(target)) GTEST_SKIP() << "this file system keeps every page in memory";
  ASSERT_EQ(::symlink(target.c_str(), folder.at("link.jpg").c_str()), 0);
  ASSERT_EQ(::mkfifo(folder.at("fifo.jpg").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(folder.at("folder.jpg").c_str(), 0700), 0);
  const NameList names = {"f00", "fifo.jpg", "folder.jpg", "link.jpg", "missing.jpg"};

  posix::ReadAhead readAhead(folder.fd.get());
  readAhead.readingNext(names, 0);
  readAhead.waitUntilIdle();
  EXPECT_EQ(residentBytes(target), 0u);
}

}  // namespace
}  // namespace kelvane
