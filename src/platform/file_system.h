// The file system as the core sees it. Failures are FileFailure, carrying the
// file layer's own number and description.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvane {

// A file open for reading at any position, without reading it whole.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  virtual std::int64_t size() const = 0;

  // Reads up to out.size() bytes starting at offset; returns how many were
  // read, fewer only at the end of the file.
  virtual std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Whether the path names an existing folder / an existing plain file. A
  // symbolic link the user names is followed; devices, FIFOs and sockets are
  // neither.
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;

  // The file a named path leads to: a symbolic link is followed to the file
  // it names, any other path comes back as it stands.
  virtual std::string followLinks(const std::string& path) = 0;

  // The names of the plain files directly inside a folder, taken whole before
  // anything is moved: no sub-folders, no hidden files, no symbolic links,
  // nothing that is not a regular file.
  virtual std::vector<std::string> listPlainFiles(const std::string& folder) = 0;

  // One new folder inside an existing one.
  virtual void createFolder(const std::string& path) = 0;

  // Moves a file within one volume; never replaces an existing file.
  virtual void moveFile(const std::string& from, const std::string& to) = 0;

  virtual std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) = 0;
};

}  // namespace kelvane
