#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

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
