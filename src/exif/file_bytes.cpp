#include "exif/file_bytes.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "platform/byte_pair.h"
#include "platform/runtime_failure.h"

namespace kelvane {

void FileBytes::open(std::unique_ptr<RandomAccessFile> file) {
  dataSize_ = file->size();
  upperBound_ = dataSize_;
  file_ = std::move(file);
  zeros_ = false;
  windowCount_ = 0;
  current_ = 0;
  readAhead_ = kPage;
  scannedPair_ = file_->scannedMarkerPair();
}

void FileBytes::close() { file_.reset(); }

void FileBytes::resetToZeros(Long upperBound) {
  file_.reset();
  upperBound_ = upperBound;
  dataSize_ = upperBound;
  zeros_ = true;
  windowCount_ = 0;
  current_ = 0;
  scannedPair_.reset();
}

std::uint8_t FileBytes::atSlowly(std::int64_t index) {
  if (index < 0 || index > upperBound_) failure::subscriptOutOfRange();
  if (index == dataSize_ || zeros_) return 0;
  const Window& window = windowFor(index);
  return window.bytes[static_cast<std::size_t>(index - window.start)];
}

Long FileBytes::findPair(Long from, Long last, std::uint8_t first, std::uint8_t second) {
  std::int64_t i = std::max<std::int64_t>(from, 0);
  const std::int64_t end = std::min<std::int64_t>(last, upperBound_ - 1);
  while (i <= end) {
    if (zeros_ || i >= dataSize_) {
      // Only zeros from here on.
      return first == 0 && second == 0 ? static_cast<Long>(i) : -1;
    }
    const Window& window = windowFor(i);
    const std::int64_t windowEnd = std::min(window.start + window.size, end + 1);
    const std::uint8_t* here = window.bytes.get() + (i - window.start);
    const auto starts = static_cast<std::size_t>(windowEnd - i);  // places a pair may start at
    const auto held = static_cast<std::size_t>(window.start + window.size - i);
    const std::size_t found = findBytePair(std::span(here, std::min(starts + 1, held)), first, second);
    if (found < starts) return static_cast<Long>(i + static_cast<std::int64_t>(found));
    // A pair may start at the window's last byte, its second byte in the next.
    if (held == starts && here[starts - 1] == first && at(static_cast<Long>(windowEnd)) == second) {
      return static_cast<Long>(windowEnd - 1);
    }
    i = windowEnd;
  }
  return -1;
}

Long FileBytes::findMarkerPair(Long last) {
  constexpr Long kFrom = 2;
  if (scannedPair_)
    return *scannedPair_ >= kFrom && *scannedPair_ <= last ? static_cast<Long>(*scannedPair_) : -1;
  return findPair(kFrom, last, 0xFF, 0xE1);
}

const FileBytes::Window& FileBytes::windowFor(std::int64_t index) {
  auto holds = [index](const Window& w) { return index >= w.start && index - w.start < w.size; };
  if (windowCount_ > 0 && holds(windows_[current_])) return windows_[current_];
  for (std::size_t k = 0; k < windowCount_; ++k) {
    if (holds(windows_[k])) {
      current_ = k;
      windows_[k].lastUse = ++useClock_;
      return windows_[k];
    }
  }
  return fetch(index);
}

FileBytes::Window& FileBytes::fetch(std::int64_t index) {
  if (!file_) throw FileFailure(52, "Bad file name or number");
  std::size_t slot = windowCount_;
  if (windowCount_ < kMaxWindows) {
    ++windowCount_;
  } else {
    slot = static_cast<std::size_t>(
        std::min_element(windows_.begin(), windows_.end(),
                         [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; }) -
        windows_.begin());
  }
  // Start small, so that a file refused by its first bytes costs one page,
  // and read further ahead as a scan goes on.
  Window& window = windows_[slot];
  window.start = index - index % kPage;
  const std::int64_t length = std::min(readAhead_, dataSize_ - window.start);
  readAhead_ = std::min(readAhead_ * 4, kMaxReadAhead);
  if (window.capacity < length) {
    window.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(length));
    window.capacity = length;
  }
  window.size = 0;  // until the read has filled it
  window.lastUse = ++useClock_;
  const std::size_t got = file_->readAt(
      window.start, std::span<std::uint8_t>(window.bytes.get(), static_cast<std::size_t>(length)));
  if (static_cast<std::int64_t>(got) < length) {
    --windowCount_;
    if (slot != windowCount_) std::swap(windows_[slot], windows_[windowCount_]);
    current_ = 0;
    throw FileFailure(62, "Input past end of file");
  }
  window.size = length;
  current_ = slot;
  return window;
}

}  // namespace kelvane
