// Files held in memory, for readers that must not touch the disk. A file can
// be cut short while open, as another program might do, and every byte read
// is counted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kelvane::testing {

class MemoryFileSystem : public FileSystem {
 public:
  void add(const std::string& path, std::vector<std::uint8_t> bytes);
  void truncate(const std::string& path, std::size_t newSize);

  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;

  // Called after every read, for example to cut a file short while it is open.
  void afterEachRead(std::function<void()> hook) { *afterRead_ = std::move(hook); }

  std::uint64_t bytesRead() const { return *bytesRead_; }
  int openFiles() const { return *openFiles_; }

 private:
  std::map<std::string, std::shared_ptr<std::vector<std::uint8_t>>> files_;
  std::shared_ptr<std::uint64_t> bytesRead_ = std::make_shared<std::uint64_t>(0);
  std::shared_ptr<int> openFiles_ = std::make_shared<int>(0);
  std::shared_ptr<std::function<void()>> afterRead_ = std::make_shared<std::function<void()>>();
};

}  // namespace kelvane::testing
