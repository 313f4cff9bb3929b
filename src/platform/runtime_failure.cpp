#include "platform/runtime_failure.h"

#include <utility>

namespace kelvane {

RuntimeFailure::RuntimeFailure(int number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      source_(std::move(source)) {}

std::string RuntimeFailure::errorText() const {
  return "Error # " + std::to_string(number_) + " " + description_;
}

std::string RuntimeFailure::report() const {
  return path_.empty() ? errorText() : errorText() + ": " + path_;
}

namespace failure {
void subscriptOutOfRange() { throw RuntimeFailure(kSubscriptOutOfRange, "Subscript out of range"); }
void overflow() { throw RuntimeFailure(kOverflow, "Overflow"); }
void typeMismatch() { throw RuntimeFailure(kTypeMismatch, "Type mismatch"); }
void outOfMemory() { throw RuntimeFailure(kOutOfMemory, "Out of memory"); }
void fileAlreadyExists() { throw FileFailure(kFileAlreadyExists, "File already exists"); }

void entryChanged() {
  throw FileFailure(kPathFileAccess, "Path/File access error (changed since it was read)");
}
}  // namespace failure

}  // namespace kelvane
