// The reader's view of one file's bytes, indexed 0 .. L with L the file's
// length: index L holds a 0 and anything else is "Subscript out of range".
// Bytes are fetched from the file on demand in small windows, so a reader
// costs the few kilobytes it looks at, whatever the file's size.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/basic_types.h"
#include "platform/file_system.h"

namespace kelvane {

class FileBytes {
 public:
  // A view without bounds: every index is out of range.
  FileBytes() = default;

  // Bounds 0 .. file size; the file stays open until close().
  void open(std::unique_ptr<RandomAccessFile> file);

  // Lets go of the file. Windows already fetched stay readable.
  void close();

  // Bounds 0 .. upperBound, every byte 0, no file behind it.
  void resetToZeros(Long upperBound);

  bool hasBounds() const { return upperBound_ >= 0; }
  std::int64_t upperBound() const { return upperBound_; }

  std::uint8_t at(Long index) { return byteAt(index); }

  // The same for any offset of a large file, past what a Long can index.
  std::uint8_t byteAt(std::int64_t index) {
    // Most reads fall in the window the previous read used.
    const Window& window = windows_[current_];
    const std::int64_t offset = index - window.start;
    if (index >= 0 && index < dataSize_ && offset >= 0 && offset < window.size && windowCount_ > 0) {
      return window.bytes[static_cast<std::size_t>(offset)];
    }
    return atSlowly(index);
  }

  // The first index i in from .. last with bytes (first, second) at i and
  // i + 1, or -1. Equivalent to testing at(i) and at(i + 1) in turn.
  Long findPair(Long from, Long last, std::uint8_t first, std::uint8_t second);

  // findPair(2, last, 0xFF, 0xE1), the marker scan; without reading where
  // the file has been scanned for it already.
  Long findMarkerPair(Long last);

 private:
  struct Window {
    std::int64_t start = 0;
    std::int64_t size = 0;
    std::unique_ptr<std::uint8_t[]> bytes;  // not zeroed first: the read fills it
    std::int64_t capacity = 0;
    std::uint64_t lastUse = 0;
  };

  std::uint8_t atSlowly(std::int64_t index);

  const Window& windowFor(std::int64_t index);
  Window& fetch(std::int64_t index);

  static constexpr std::size_t kMaxWindows = 4;
  static constexpr std::int64_t kPage = 4096;
  static constexpr std::int64_t kMaxReadAhead = 64 * 1024;

  std::unique_ptr<RandomAccessFile> file_;
  std::int64_t upperBound_ = -1;
  std::int64_t dataSize_ = 0;  // bytes that come from the file (or zeros)
  bool zeros_ = false;
  std::array<Window, kMaxWindows> windows_{};
  std::size_t windowCount_ = 0;
  std::size_t current_ = 0;
  std::uint64_t useClock_ = 0;
  std::int64_t readAhead_ = kPage;
  std::optional<std::int64_t> scannedPair_;
};

}  // namespace kelvane
