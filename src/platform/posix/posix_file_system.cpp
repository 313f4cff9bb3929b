#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/posix/file_failure.h"

namespace kelvane::posix {
namespace {

class PosixFile : public RandomAccessFile {
 public:
  PosixFile(int fd, std::int64_t size) : fd_(fd), size_(size) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  std::int64_t size() const override { return size_; }

  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (got < 0) {
        if (errno == EINTR) continue;
        throw fileFailureFromErrno(errno);
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  int fd_;
  std::int64_t size_;
};

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Two paths that reach one directory entry, through a linked folder for
// instance: that entry is the file's only name there, never a second one.
bool sameEntry(const std::string& a, const std::string& b) {
  struct stat firstFolder {};
  struct stat secondFolder {};
  return a.substr(a.rfind('/') + 1) == b.substr(b.rfind('/') + 1) &&
         ::stat(parentOf(a).c_str(), &firstFolder) == 0 && ::stat(parentOf(b).c_str(), &secondFolder) == 0 &&
         sameInode(firstFolder, secondFolder);
}

// Two names of one file: what a move cut short between linking the new name
// and removing the old one leaves behind.
bool interruptedMove(const std::string& from, const std::string& to) {
  struct stat source {};
  struct stat target {};
  return ::lstat(from.c_str(), &source) == 0 && ::lstat(to.c_str(), &target) == 0 && S_ISREG(source.st_mode) &&
         sameInode(source, target) && source.st_nlink >= 2 && !sameEntry(from, to);
}

class Directory {
 public:
  explicit Directory(const std::string& path) : handle_(::opendir(path.c_str())) {
    if (handle_ == nullptr) throw fileFailureFromErrno(errno);
  }
  ~Directory() { ::closedir(handle_); }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  DIR* get() const { return handle_; }

 private:
  DIR* handle_;
};

bool isRegularFile(DIR* directory, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return ::fstatat(::dirfd(directory), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode);
}

}  // namespace

bool PosixFileSystem::FolderExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string PosixFileSystem::followLinks(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) throw fileFailureFromErrno(errno);
  return resolved.get();
}

// Names beginning with "." are this platform's hidden files. Symbolic links
// inside a photo folder are not plain files and stay where they are. Sorted by
// their bytes, so that a run's log does not depend on the file system's order.
std::vector<std::string> PosixFileSystem::listPlainFiles(const std::string& folder) {
  Directory directory(folder);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(directory.get())) {
    if (entry->d_name[0] != '.' && isRegularFile(directory.get(), *entry)) names.emplace_back(entry->d_name);
    errno = 0;
  }
  if (errno != 0) throw fileFailureFromErrno(errno);
  std::sort(names.begin(), names.end());
  return names;
}

void PosixFileSystem::createFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) throw fileFailureFromErrno(errno);
}

// rename(2) would silently replace a file of the target name, so the move
// asks the kernel not to; where a file system cannot, it links the new name
// and then removes the old one. Finding the target taken by the very file
// being moved means an earlier move was cut short there: removing the old
// name finishes it.
void PosixFileSystem::moveFile(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
    if (::link(from.c_str(), to.c_str()) == 0) {
      if (::unlink(from.c_str()) != 0) throw fileFailureFromErrno(errno);
      return;
    }
    error = errno;
  }
  if (error == EEXIST && interruptedMove(from, to)) {
    if (::unlink(from.c_str()) != 0) throw fileFailureFromErrno(errno);
    return;
  }
  throw fileFailureFromErrno(error);
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForReading(const std::string& path) {
  // Non-blocking, so that a FIFO cannot hang the open; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw fileFailureFromErrno(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    throw fileFailureFromErrno(error);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    throw fileFailureFromErrno(S_ISDIR(info.st_mode) ? EISDIR : ENODEV);
  }
  return std::make_unique<PosixFile>(fd, static_cast<std::int64_t>(info.st_size));
}

}  // namespace kelvane::posix
