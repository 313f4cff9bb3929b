#include "memory_file_system.h"

#include <algorithm>

#include "platform/runtime_failure.h"

namespace kelvane::testing {
namespace {

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

std::vector<std::string> MemoryFileSystem::listPlainFiles(const std::string& folder) {
  if (!folders_.contains(folder)) throw FileFailure(76, "Path not found");
  std::vector<std::string> names;
  for (const auto& [path, bytes] : files_) {
    if (parentOf(path) != folder) continue;
    const std::string name = path.substr(folder.size() + 1);
    if (name.front() != '.') names.push_back(name);
  }
  return names;
}

void MemoryFileSystem::createFolder(const std::string& path) {
  if (!folders_.contains(parentOf(path))) throw FileFailure(76, "Path not found");
  if (files_.contains(path) || folders_.contains(path)) throw FileFailure(58, "File already exists");
  folders_.insert(path);
}

void MemoryFileSystem::moveFile(const std::string& from, const std::string& to) {
  const auto source = files_.find(from);
  if (source == files_.end()) throw FileFailure(53, "File not found");
  if (!folders_.contains(parentOf(to))) throw FileFailure(76, "Path not found");
  if (files_.contains(to) || folders_.contains(to)) throw FileFailure(58, "File already exists");
  files_[to] = source->second;
  files_.erase(source);
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
