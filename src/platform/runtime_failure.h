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

  // The error text and, when known, the file or folder it concerns:
  // "Error # <number> <description>: <path>".
  std::string report() const;

  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }

  // Names the routine that passes the failure on to its caller.
  void setSource(std::string source) { source_ = std::move(source); }

 private:
  int number_;
  std::string description_;
  std::string source_;
  std::string path_;
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
// The file layer's numbers that the core itself tells apart.
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kPathFileAccess = 75;

[[noreturn]] void subscriptOutOfRange();
[[noreturn]] void overflow();
[[noreturn]] void typeMismatch();
[[noreturn]] void outOfMemory();
// A name is taken where nothing may be replaced.
[[noreturn]] void fileAlreadyExists();
// The name no longer holds the entry that was read: something was swapped in.
[[noreturn]] void entryChanged();
}  // namespace failure

}  // namespace kelvane
