// The file system of this machine.
#pragma once

#include "platform/file_system.h"

namespace kelvane::posix {

class PosixFileSystem : public FileSystem {
 public:
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::string followLinks(const std::string& path) override;
  std::vector<std::string> listPlainFiles(const std::string& folder) override;
  void createFolder(const std::string& path) override;
  void moveFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;
};

}  // namespace kelvane::posix
