// The file system of this machine.
#pragma once

#include "platform/file_system.h"

namespace kelvane::posix {

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override;
};

}  // namespace kelvane::posix
