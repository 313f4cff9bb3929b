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
// one. A folder whose first pages are in the page cache already is looked at
// one file in kWarmStride only, until a file turns out cold. What is in flight stays bounded whatever the
// folder's size: a thread has one file open and at most 2 MiB asked of the kernel, and no file is read more
// than kFilesAhead places past the run's.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
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

  // The folder descriptor must stay open for as long as this lives.
  explicit ReadAhead(int folder);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The run is about to read names[index], then the names after it in
  // order. Never waits for a read.
  void readingNext(const NameList& names, std::size_t index);

  // Waits until every file asked for is fetched or passed over; for tests.
  void waitUntilIdle();

 private:
  struct Job {
    std::string name;
    std::uint64_t position = 0;  // in the run's order: fetched only while still ahead of the run
  };

  void startThreads();  // with the mutex held
  void work();
  void fetch(const Job& job);
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
};

}  // namespace kelvane::posix
