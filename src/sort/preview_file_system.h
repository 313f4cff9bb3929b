// The file system of a preview: everything is read as it is, and every
// folder creation and move is only noted, so that a run over it logs what a
// real run would log at this moment, stop and failures included, and changes
// nothing.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace kelvane {

class PreviewFileSystem : public FileSystem {
 public:
  explicit PreviewFileSystem(FileSystem& real) : real_(real) {}

  bool FolderExists(const std::string& path) override { return real_.FolderExists(path); }
  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  void checkNamesNothing(const std::string& path) override { real_.checkNamesNothing(path); }
  std::unique_ptr<Folder> openFolder(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> openForReading(const std::string& path) override {
    return real_.openForReading(path);
  }

  // What a preview run has done to one folder, by the folder's path.
  struct Changes {
    std::set<std::string> createdFolders;
    std::set<std::string> movedAway;             // names moved out of the folder
    std::map<std::string, std::string> movedIn;  // "DATE/TARGET" -> the name it came from
  };

 private:
  FileSystem& real_;
  std::map<std::string, Changes> changes_;
};

}  // namespace kelvane
