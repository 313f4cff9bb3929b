// Files and folders held in memory, for tests that must not touch the disk.
// Paths are joined with "/" and compared as they stand; there are no links. A
// file can be cut short while open, or replaced, as another program might do,
// and every byte read is counted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kelvane::testing {

class MemoryFileSystem : public FileSystem {
 public:
  // Adds a file, and the folders above it. A file added again at a path is a
  // new file there.
  void add(const std::string& path, std::vector<std::uint8_t> bytes);
  void addFolder(const std::string& path);
  void truncate(const std::string& path, std::size_t newSize);

  bool FolderExists(const std::string& path) override { return folders_.contains(path); }
  bool FileExists(const std::string& path) override { return files_.contains(path); }
  void checkNamesNothing(const std::string& /*path*/) override {}
  std::unique_ptr<Folder> openFolder(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;

  // Every file's path, sorted.
  std::vector<std::string> filePaths() const;

  // Called after every read, for example to cut a file short while it is open.
  void afterEachRead(std::function<void()> hook) { *afterRead_ = std::move(hook); }

  std::uint64_t bytesRead() const { return *bytesRead_; }
  int openFiles() const { return *openFiles_; }

 private:
  class MemoryFolder;

  std::map<std::string, std::shared_ptr<std::vector<std::uint8_t>>> files_;
  std::set<std::string> folders_;
  std::shared_ptr<std::uint64_t> bytesRead_ = std::make_shared<std::uint64_t>(0);
  std::shared_ptr<int> openFiles_ = std::make_shared<int>(0);
  std::shared_ptr<std::function<void()>> afterRead_ = std::make_shared<std::function<void()>>();
};

}  // namespace kelvane::testing
