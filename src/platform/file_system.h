// The file system as the core sees it. Failures are FileFailure, carrying the
// file layer's own number and description.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kelvane {

// A file open for reading at any position, without reading it whole.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  virtual std::int64_t size() const = 0;

  // Reads up to out.size() bytes starting at offset; returns how many were
  // read, fewer only at the end of the file.
  virtual std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) = 0;
};

}  // namespace kelvane
