// Fetches the first bytes of the files a run is about to read, a few files
// ahead of it, from a small pool of threads: a device that is slow to answer
// (a camera card, a USB disk, a network share) then has several requests in
// flight instead of one, and the run finds the bytes it reads in the page
// cache. The run itself, its order and its moves are untouched: the pool only
// reads, through names of the folder it was given.
//
// It reads what the run's reader will read: the first page (with the kernel's
// own read-ahead, as the run's first read would), and for a JPEG whose first
// page holds no FF E1 pair, the rest of the file, which the reader scans for
// one: the pool scans it itself, in order, and keeps where the pair lies (or
// that there is none) for the run's reader, which then need not read it
// again. A folder whose first pages are in the page cache already is looked
// at one file in kWarmStride only, until a file turns out cold. What is in
// flight stays bounded whatever the folder's size: a thread has one file open
// and reads 64 KiB at a time (the kernel reads ahead of a file read in
// order, within its own bounds; where reads are slow, 2 MiB are kept asked
// of it too), and no file is read more than kFilesAhead places past the
// run's.
#pragma once

#include <sys/stat.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/name_list.h"

namespace kelvane::posix {

class ReadAhead {
 public:
  static constexpr std::size_t kThreads = 8;
  static constexpr std::size_t kFilesAhead = 64;
  static constexpr std::size_t kWarmRun = 16;
  static constexpr std::uint64_t kWarmStride = 32;
  // Longer than any step of the clocks that stamp a file's change time and
  // its modification time (FAT, which has no change time, stamps the latter
  // in steps of two seconds): a change made after a scan began gives a file
  // whose times were older by this much a new time.
  static constexpr std::int64_t kChangeStepNs = 50'000'000;
  static constexpr std::int64_t kModificationStepNs = 2'100'000'000;

  // The folder descriptor must stay open for as long as this lives.
  explicit ReadAhead(int folder);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The run is about to read names[index], then the names after it in
  // order. Never waits for a read.
  void readingNext(const NameList& names, std::size_t index);

  // Where the first FF E1 pair at index 2 or later of the file that `info`
  // describes lies (-1: nowhere), when the pool scanned the file and it shows
  // no change since; nothing otherwise.
  std::optional<std::int64_t> scannedMarkerPair(const struct stat& info);

  // Waits until every file asked for is fetched or passed over; for tests.
  void waitUntilIdle();

  // Whether a file that `before` showed as a scan `started` and `after` shows
  // when it ended kept its content: the same size, change time and
  // modification time, each time older than the scan by more than its
  // clock's step.
  static bool unchangedSince(const struct stat& before, const struct stat& after, const timespec& started);

 private:
  struct Job {
    std::string name;
    std::uint64_t position = 0;  // in the run's order: fetched only while still ahead of the run
  };

  // What a scan found, and of which content: a file keeps its inode, size
  // and times only while its bytes stay as they were.
  struct Scan {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t changed = 0;   // nanoseconds since the epoch
    std::int64_t modified = 0;  // the same
    std::int64_t pair = -1;

    bool sameContent(const Scan& other) const;  // the same file, its size and times as they were
  };
  static Scan scanOf(const struct stat& info, std::int64_t pair);

  void startThreads();  // with the mutex held
  void work();
  void fetch(const Job& job);
  void scanRest(int fd, const struct stat& before, const timespec& started, std::size_t firstPage,
                std::uint64_t position);
  void remember(const Scan& scan);
  void noteCached(bool cached);
  bool stillAhead(std::uint64_t position);

  const int folder_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Job> jobs_;
  std::size_t busy_ = 0;
  bool stopping_ = false;
  std::uint64_t current_ = 0;  // the position of the file the run reads now
  std::uint64_t asked_ = 0;    // positions below this were asked for
  const NameList* listing_ = nullptr;
  std::uint64_t listingStart_ = 0;      // the position of the listing's first name
  std::uint64_t nextListingStart_ = 0;  // past every position asked for
  std::size_t cachedInARow_ = 0;
  bool warm_ = false;  // the files met lately were cached already
  std::vector<std::thread> threads_;
  bool threadsRefused_ = false;
  std::array<Scan, kFilesAhead> scans_{};  // the latest, oldest overwritten first
  std::size_t nextScan_ = 0;
};

}  // namespace kelvane::posix
