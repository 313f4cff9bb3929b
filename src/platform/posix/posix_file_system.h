// The file system of this machine: paths of any length, and every change
// made relative to a folder held open.
#pragma once

#include "platform/file_system.h"

namespace kelvane::posix {

class PosixFileSystem : public FileSystem, public SortedFolders {
 public:
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void checkNamesNothing(const std::string& path) override;
  std::unique_ptr<Folder> openFolder(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;
  std::unique_ptr<SortedFolder> openSortedFolder(const std::string& path) override;
};

}  // namespace kelvane::posix
