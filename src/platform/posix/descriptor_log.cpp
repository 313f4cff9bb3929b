#include "platform/posix/descriptor_log.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/file_failure.h"

namespace kelvane::posix {

DescriptorLog::DescriptorLog(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

void DescriptorLog::append(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd_, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      FileFailure failure = fileFailureFromErrno(written < 0 ? errno : EIO);
      failure.setPath(name_);
      throw failure;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace kelvane::posix
