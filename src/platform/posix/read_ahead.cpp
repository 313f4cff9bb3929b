#include "platform/posix/read_ahead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <span>
#include <system_error>

#include "platform/byte_pair.h"
#include "platform/posix/descriptor.h"

namespace kelvane::posix {
namespace {

constexpr std::size_t kPage = 4096;  // the reader's first read
constexpr std::size_t kScanBlock = 64 * 1024;

// Up to `size` bytes at `offset`; 0 at the end of the file or on a failure,
// which the run's own read will meet and report.
std::size_t readSome(int fd, std::uint8_t* out, std::size_t size, std::int64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

// Whether the file's first page is in the page cache, asked without reading
// it: a read that may not wait still starts one, and on a fast device it may
// find the page arrived and say so. A file system that cannot tell says no.
bool firstPageCached(int fd) {
  void* const page = ::mmap(nullptr, kPage, PROT_READ, MAP_SHARED, fd, 0);
  if (page == MAP_FAILED) return false;
  unsigned char state = 0;
  const bool cached = ::mincore(page, kPage, &state) == 0 && (state & 1) != 0;
  ::munmap(page, kPage);
  return cached;
}

// Whether an FF E1 pair begins at index 2 or later, where the reader's scan
// for one begins.
bool holdsPair(std::span<const std::uint8_t> bytes) {
  return bytes.size() > 2 && findBytePair(bytes.subspan(2), 0xFF, 0xE1) < bytes.size() - 2;
}

// Asks the kernel for the bytes from `from` to `to` without waiting for them,
// in pieces of one read-ahead window, which is the most one call reads; where
// asked up to.
std::int64_t askAhead(int fd, std::int64_t from, std::int64_t to) {
  constexpr std::int64_t kPiece = 128 * 1024;
  for (; from < to; from += kPiece) ::readahead(fd, from, kPiece);
  return from;
}

// Reads a file in order. A device whose reads are slow answers faster with
// several requests in flight than with the kernel's read-ahead of a file read
// in order, which keeps one window (128 KiB on many) ahead of the reader; on
// a fast one that window grows, and asking for more only cuts the requests
// smaller. So once three reads in a row were slow (the first ones wait for
// the kernel's first window on any device), the next 2 MiB are kept asked of
// the kernel too.
class OrderedReader {
 public:
  explicit OrderedReader(int fd) : fd_(fd) {}

  std::size_t read(std::uint8_t* out, std::size_t size, std::int64_t offset) {
    if (asked_ > 0) asked_ = askAhead(fd_, asked_, offset + kAhead);
    const auto start = std::chrono::steady_clock::now();
    const std::size_t got = readSome(fd_, out, size, offset);
    slowReads_ = std::chrono::steady_clock::now() - start > kSlowRead ? slowReads_ + 1 : 0;
    if (asked_ == 0 && slowReads_ >= kSlowReadsInARow) asked_ = offset;
    return got;
  }

 private:
  static constexpr auto kSlowRead = std::chrono::milliseconds(1);
  static constexpr int kSlowReadsInARow = 3;
  static constexpr std::int64_t kAhead = 2 * 1024 * 1024;

  const int fd_;
  std::int64_t asked_ = 0;  // asked of the kernel up to here; 0 while the reads come quickly
  int slowReads_ = 0;
};

std::int64_t nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

ReadAhead::ReadAhead(int folder) : folder_(folder) {}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ReadAhead::readingNext(const NameList& names, std::size_t index) {
  std::size_t added = 0;
  {
    const std::lock_guard lock(mutex_);
    if (&names != listing_) {  // a new listing: its positions follow every earlier one
      jobs_.clear();
      listing_ = &names;
      listingStart_ = nextListingStart_;
      asked_ = listingStart_;
    }
    current_ = listingStart_ + index;
    while (!jobs_.empty() && jobs_.front().position <= current_) jobs_.pop_front();
    const std::uint64_t first = std::max(asked_, current_ + 1);
    const std::uint64_t end =
        std::min<std::uint64_t>(listingStart_ + names.size(), current_ + 1 + kFilesAhead);
    for (std::uint64_t position = first; position < end; ++position) {
      if (warm_ && position % kWarmStride != 0) continue;
      jobs_.push_back({std::string(names[position - listingStart_]), position});
      ++added;
    }
    asked_ = std::max(asked_, end);
    nextListingStart_ = std::max(nextListingStart_, end);
    if (jobs_.empty()) return;
    startThreads();
  }
  for (std::size_t k = 0; k < added; ++k) wake_.notify_one();
}

// With the first file there is to fetch: a run of one file never makes them.
// Where the system refuses a thread, the ones made do the work; with none,
// nothing is fetched and the run reads for itself, as without the pool.
void ReadAhead::startThreads() {
  while (!threadsRefused_ && threads_.size() < kThreads) {
    try {
      threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      threadsRefused_ = true;
    }
  }
  if (threads_.empty()) jobs_.clear();
}

void ReadAhead::waitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return jobs_.empty() && busy_ == 0; });
}

void ReadAhead::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    const Job job = std::move(jobs_.front());
    jobs_.pop_front();
    ++busy_;
    lock.unlock();
    fetch(job);
    lock.lock();
    --busy_;
    if (jobs_.empty() && busy_ == 0) idle_.notify_all();
  }
}

// A folder whose files are in the page cache already costs the pool an open
// a file for nothing: after kWarmRun such files in a row it looks at one file
// in kWarmStride only, until it meets one that is not cached; then the files
// passed over are asked for again.
void ReadAhead::noteCached(bool cached) {
  const std::lock_guard lock(mutex_);
  if (cached) {
    if (++cachedInARow_ >= kWarmRun) warm_ = true;
    return;
  }
  cachedInARow_ = 0;
  if (warm_) asked_ = std::min(asked_, current_ + 1);
  warm_ = false;
}

bool ReadAhead::stillAhead(std::uint64_t position) {
  const std::lock_guard lock(mutex_);
  return !stopping_ && position > current_;
}

// The first page (the kernel reads its own read-ahead window with it, as it
// does for the run's first read); for a JPEG whose first page holds no FF E1
// pair, the rest of the file, scanned. Opened as the run opens it: never
// through a link, never waiting on a FIFO.
void ReadAhead::fetch(const Job& job) {
  if (!stillAhead(job.position)) return;
  const Descriptor fd(
      ::openat(folder_, job.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  timespec started{};
  ::clock_gettime(CLOCK_REALTIME, &started);
  noteCached(firstPageCached(fd.get()));
  std::array<std::uint8_t, kPage> page{};
  const std::size_t got = readSome(fd.get(), page.data(), page.size(), 0);
  if (got < 2 || page[0] != 0xFF || page[1] != 0xD8 || holdsPair(std::span(page).first(got))) return;
  scanRest(fd.get(), info, started, got, job.position);
}

// The reader scans such a file for a pair to its end where there is none;
// the pool does it here, in order, the last byte of each block read again
// with the next (a pair may span two), and keeps what it found if the file
// shows no change since before its first page was read.
void ReadAhead::scanRest(int fd, const struct stat& before, const timespec& started, std::size_t firstPage,
                         std::uint64_t position) {
  const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kScanBlock);
  auto offset = static_cast<std::int64_t>(firstPage) - 1;
  std::int64_t pair = -1;
  OrderedReader reader(fd);
  for (;;) {
    if (!stillAhead(position)) return;
    const std::size_t got = reader.read(block.get(), kScanBlock, offset);
    const std::size_t found = findBytePair(std::span(block.get(), got), 0xFF, 0xE1);
    if (found < got) {
      pair = offset + static_cast<std::int64_t>(found);
      break;
    }
    if (got < kScanBlock) {
      if (offset + static_cast<std::int64_t>(got) != before.st_size) return;  // not the end: a failed read
      break;
    }
    offset += static_cast<std::int64_t>(got) - 1;
  }
  struct stat after {};
  if (::fstat(fd, &after) != 0 || !unchangedSince(before, after, started)) return;
  remember(scanOf(before, pair));
}

ReadAhead::Scan ReadAhead::scanOf(const struct stat& info, std::int64_t pair) {
  return {info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_ctim), nanoseconds(info.st_mtim), pair};
}

bool ReadAhead::Scan::sameContent(const Scan& other) const {
  return inode == other.inode && device == other.device && size == other.size && changed == other.changed &&
         modified == other.modified;
}

bool ReadAhead::unchangedSince(const struct stat& before, const struct stat& after, const timespec& started) {
  const Scan was = scanOf(before, 0);
  return was.sameContent(scanOf(after, 0)) && was.changed < nanoseconds(started) - kChangeStepNs &&
         was.modified < nanoseconds(started) - kModificationStepNs;
}

void ReadAhead::remember(const Scan& scan) {
  const std::lock_guard lock(mutex_);
  scans_[nextScan_] = scan;
  nextScan_ = (nextScan_ + 1) % scans_.size();
}

std::optional<std::int64_t> ReadAhead::scannedMarkerPair(const struct stat& info) {
  const Scan file = scanOf(info, 0);
  const std::lock_guard lock(mutex_);
  for (const Scan& scan : scans_) {
    if (scan.sameContent(file)) return scan.pair;
  }
  return std::nullopt;
}

}  // namespace kelvane::posix
