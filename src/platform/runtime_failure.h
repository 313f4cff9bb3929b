// A run-time failure: a number and a description, as the message boxes and the
// error line show them. Only the checked helpers and the file layer throw it.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace kelvane {

class RuntimeFailure : public std::runtime_error {
 public:
  RuntimeFailure(int number, std::string description, std::string source = {});

  int number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

  // "Error # <number> <description>", as every report of a failure begins.
  std::string errorText() const;

  // Names the routine that passes the failure on to its caller.
  void setSource(std::string source) { source_ = std::move(source); }

 private:
  int number_;
  std::string description_;
  std::string source_;
};

// A failure of the file layer (opening, reading, creating, moving). The reader
// tells these apart from failures of its own arithmetic and indexing.
class FileFailure : public RuntimeFailure {
 public:
  using RuntimeFailure::RuntimeFailure;
};

namespace failure {
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;

[[noreturn]] void subscriptOutOfRange();
[[noreturn]] void overflow();
[[noreturn]] void typeMismatch();
[[noreturn]] void outOfMemory();
}  // namespace failure

}  // namespace kelvane
