// The file system of this machine: paths of any length, and every change
// made relative to a folder held open.
#pragma once

#include <utility>

#include "platform/file_system.h"

namespace kelvane::posix {

class PosixFileSystem : public FileSystem, public SortedFolders {
 public:
  // `between`: the other program's step that tests take between a check and
  // its act; empty in a run.
  explicit PosixFileSystem(BetweenSteps between = {}) : between_(std::move(between)) {}

  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void checkNamesNothing(const std::string& path) override;
  std::unique_ptr<Folder> openFolder(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;
  std::unique_ptr<SortedFolder> openSortedFolder(const std::string& path) override;

 private:
  BetweenSteps between_;
};

}  // namespace kelvane::posix
