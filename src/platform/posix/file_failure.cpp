#include "platform/posix/file_failure.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace kelvane::posix {
namespace {

struct FileLayerError {
  int number;
  const char* description;
};

// The file layer numbers its failures the way Basic run-times always have, so
// they never collide with the reader's own numbers 6, 9 and 13.
FileLayerError fromErrno(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return {failure::kFileNotFound, "File not found"};
    case ENOTDIR: return {76, "Path not found"};
    case EACCES:
    case EPERM:
    case EROFS: return {70, "Permission denied"};
    case EEXIST:
    case ENOTEMPTY: return {failure::kFileAlreadyExists, "File already exists"};
    case EIO: return {57, "Device I/O error"};
    case ENOSPC:
    case EDQUOT: return {61, "Disk full"};
    case EMFILE:
    case ENFILE: return {67, "Too many files"};
    case ENOMEM: return {7, "Out of memory"};
    case EXDEV: return {74, "Can't rename with different drive"};
    case EBUSY:
    case ETXTBSY: return {70, "Permission denied (file in use)"};
    default: return {failure::kPathFileAccess, nullptr};
  }
}

}  // namespace

FileFailure fileFailureFromErrno(int errorNumber) {
  const FileLayerError error = fromErrno(errorNumber);
  std::string description = error.description != nullptr
                                ? std::string(error.description)
                                : "Path/File access error (" + std::string(std::strerror(errorNumber)) + ")";
  return FileFailure(error.number, std::move(description));
}

}  // namespace kelvane::posix
