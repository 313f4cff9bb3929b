#include "memory_file_system.h"

#include <algorithm>

#include "platform/runtime_failure.h"

namespace kelvane::testing {
namespace {

using Bytes = std::shared_ptr<std::vector<std::uint8_t>>;

// A file is known by its bytes' place in memory.
EntryIdentity identityOf(const Bytes& bytes) {
  return {0, reinterpret_cast<std::uintptr_t>(bytes.get()), false};
}

// A folder is known by its path.
EntryIdentity folderIdentity(const std::string& path) { return {1, std::hash<std::string>{}(path), false}; }

class MemoryFile : public RandomAccessFile {
 public:
  MemoryFile(std::shared_ptr<std::vector<std::uint8_t>> bytes, std::shared_ptr<std::uint64_t> bytesRead,
             std::shared_ptr<int> openFiles, std::shared_ptr<std::function<void()>> afterRead)
      : bytes_(std::move(bytes)),
        size_(static_cast<std::int64_t>(bytes_->size())),
        bytesRead_(std::move(bytesRead)),
        openFiles_(std::move(openFiles)),
        afterRead_(std::move(afterRead)) {
    ++*openFiles_;
  }
  ~MemoryFile() override { --*openFiles_; }

  std::int64_t size() const override { return size_; }
  EntryIdentity entry() const override { return identityOf(bytes_); }

  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) override {
    const auto start = static_cast<std::size_t>(offset);
    std::size_t count = 0;
    if (start < bytes_->size()) {
      count = std::min(out.size(), bytes_->size() - start);
      std::copy_n(bytes_->begin() + static_cast<std::ptrdiff_t>(start), count, out.begin());
      *bytesRead_ += count;
    }
    if (*afterRead_) (*afterRead_)();
    return count;
  }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> bytes_;
  std::int64_t size_;  // as it was when opened
  std::shared_ptr<std::uint64_t> bytesRead_;
  std::shared_ptr<int> openFiles_;
  std::shared_ptr<std::function<void()>> afterRead_;
};

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void MemoryFileSystem::add(const std::string& path, std::vector<std::uint8_t> bytes) {
  addFolder(parentOf(path));
  files_[path] = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
}

void MemoryFileSystem::addFolder(const std::string& path) {
  for (std::string folder = path; !folder.empty(); folder = parentOf(folder)) folders_.insert(folder);
}

class MemoryFileSystem::MemoryFolder : public Folder {
 public:
  MemoryFolder(MemoryFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  NameList listPlainFiles() override {
    NameList names;  // in the map's order: sorted by bytes
    for (const auto& [path, bytes] : files_.files_) {
      if (parentOf(path) != path_) continue;
      const std::string name = path.substr(path_.size() + 1);
      if (name.front() != '.') names.add(name);
    }
    return names;
  }

  std::unique_ptr<RandomAccessFile> openEntry(const std::string& name, Links /*links*/) override {
    return files_.openForReading(at(name));
  }

  bool hasFolder(const std::string& name) override { return files_.folders_.contains(at(name)); }
  bool hasEntry(const std::string& name) override {
    return files_.folders_.contains(at(name)) || files_.files_.contains(at(name));
  }

  EntryIdentity identity() override { return folderIdentity(path_); }

  EntryIdentity createFolder(const std::string& name) override {
    if (files_.files_.contains(at(name)))
      throw FileFailure(failure::kFileAlreadyExists, "File already exists");
    files_.folders_.insert(at(name));
    return folderIdentity(at(name));
  }

  void moveInto(const std::string& name, const EntryIdentity& expected, const std::string& folderName,
                const std::string& targetName, const BeforeMove& beforeMove) override {
    const auto source = files_.files_.find(at(name));
    if (source == files_.files_.end()) throw FileFailure(failure::kFileNotFound, "File not found");
    if (identityOf(source->second) != expected) failure::entryChanged();
    const std::string folder = at(folderName);
    if (!files_.folders_.contains(folder)) throw FileFailure(76, "Path not found");
    if (beforeMove) beforeMove({stampOf(name), std::nullopt});
    const std::string target = folder + "/" + targetName;
    if (files_.files_.contains(target) || files_.folders_.contains(target)) {
      throw FileFailure(failure::kFileAlreadyExists, "File already exists");
    }
    files_.files_[target] = source->second;
    files_.files_.erase(source);
  }

  bool hasEntryIn(const std::string& folderName, const std::string& targetName) override {
    const std::string target = at(folderName) + "/" + targetName;
    return files_.files_.contains(target) || files_.folders_.contains(target);
  }

  bool sameBytes(const std::string& name, const std::string& folderName,
                 const std::string& targetName) override {
    const auto mine = files_.files_.find(at(name));
    const auto theirs = files_.files_.find(at(folderName) + "/" + targetName);
    return mine != files_.files_.end() && theirs != files_.files_.end() && *mine->second == *theirs->second;
  }

  EntryStamp stampOf(const std::string& name) override {
    const auto file = files_.files_.find(at(name));
    if (file == files_.files_.end()) throw FileFailure(failure::kFileNotFound, "File not found");
    return {identityOf(file->second), static_cast<std::int64_t>(file->second->size()), 0};
  }

 private:
  std::string at(const std::string& name) const { return path_ + "/" + name; }

  MemoryFileSystem& files_;
  std::string path_;
};

std::unique_ptr<Folder> MemoryFileSystem::openFolder(const std::string& path) {
  if (!folders_.contains(path)) throw FileFailure(76, "Path not found");
  return std::make_unique<MemoryFolder>(*this, path);
}

std::vector<std::string> MemoryFileSystem::filePaths() const {
  std::vector<std::string> paths;
  for (const auto& entry : files_) paths.push_back(entry.first);
  return paths;
}

void MemoryFileSystem::truncate(const std::string& path, std::size_t newSize) {
  files_.at(path)->resize(newSize);
}

std::unique_ptr<RandomAccessFile> MemoryFileSystem::openForReading(const std::string& path) {
  const auto found = files_.find(path);
  if (found == files_.end()) throw FileFailure(53, "File not found");
  return std::make_unique<MemoryFile>(found->second, bytesRead_, openFiles_, afterRead_);
}

}  // namespace kelvane::testing
