// Files on the disk for tests: a temporary folder, whole-file reads and
// writes, and a folder's contents at a glance.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelvane::testing {

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it when
// the object goes, however deep.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Every path below `top`, relative to it: "/" for a folder, else the file's bytes.
std::map<std::string, std::string> folderFiles(const std::string& top);

}  // namespace kelvane::testing
