#include "disk_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace kelvane::testing {
namespace {

// Relative to each folder's descriptor, so that trees deeper than PATH_MAX,
// which std::filesystem cannot remove, go too.
void removeTree(int parent, const char* name) {
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ::unlinkat(parent, name, 0);
    return;
  }
  DIR* const listing = ::fdopendir(fd);
  while (const dirent* entry = listing != nullptr ? ::readdir(listing) : nullptr) {
    const std::string_view child = entry->d_name;
    if (child != "." && child != "..") removeTree(fd, entry->d_name);
  }
  listing != nullptr ? ::closedir(listing) : ::close(fd);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  std::string pattern = std::filesystem::temp_directory_path() / "kelvane-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() { removeTree(AT_FDCWD, path_.c_str()); }

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();  // sets failbit on bytes for an empty file, which is no failure
  return std::move(bytes).str();
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> folderFiles(const std::string& top) {
  std::map<std::string, std::string> all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
    all[entry.path().lexically_relative(top).string()] = entry.is_directory() ? "/" : readBytes(entry.path());
  }
  return all;
}

}  // namespace kelvane::testing
