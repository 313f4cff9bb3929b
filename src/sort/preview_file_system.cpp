#include "sort/preview_file_system.h"

#include "platform/runtime_failure.h"
#include "platform/same_contents.h"

namespace kelvane {
namespace {

[[noreturn]] void taken() { throw FileFailure(failure::kFileAlreadyExists, "File already exists"); }

class PreviewFolder : public Folder {
 public:
  PreviewFolder(std::unique_ptr<Folder> real, PreviewFileSystem::Changes& changes)
      : real_(std::move(real)), changes_(changes) {}

  NameList listPlainFiles() override {
    const NameList all = real_->listPlainFiles();
    NameList names;
    for (std::size_t k = 0; k < all.size(); ++k) {
      if (!changes_.movedAway.contains(std::string(all[k]))) names.add(all[k]);
    }
    return names;
  }

  void readingNext(const NameList& names, std::size_t index) override { real_->readingNext(names, index); }

  std::unique_ptr<RandomAccessFile> openEntry(const std::string& name, Links links) override {
    if (changes_.movedAway.contains(name)) throw FileFailure(failure::kFileNotFound, "File not found");
    return real_->openEntry(name, links);
  }

  bool hasFolder(const std::string& name) override {
    return changes_.createdFolders.contains(name) || real_->hasFolder(name);
  }

  bool hasEntry(const std::string& name) override {
    return changes_.createdFolders.contains(name) || real_->hasEntry(name);
  }

  EntryIdentity identity() override { return real_->identity(); }

  // Nothing is made: the folder has no identity yet.
  EntryIdentity createFolder(const std::string& name) override {
    if (real_->hasFolder(name)) return {};
    if (real_->hasEntry(name)) taken();
    changes_.createdFolders.insert(name);
    return {};
  }

  void moveInto(const std::string& name, const EntryIdentity& /*expected*/, const std::string& folderName,
                const std::string& targetName, const BeforeMove& beforeMove) override {
    if (changes_.movedAway.contains(name)) throw FileFailure(failure::kFileNotFound, "File not found");
    if (hasEntryIn(folderName, targetName)) taken();
    if (beforeMove) beforeMove({real_->stampOf(name), std::nullopt});
    changes_.movedAway.insert(name);
    changes_.movedIn[folderName + "/" + targetName] = name;
  }

  bool hasEntryIn(const std::string& folderName, const std::string& targetName) override {
    return changes_.movedIn.contains(folderName + "/" + targetName) ||
           (real_->hasFolder(folderName) && real_->hasEntryIn(folderName, targetName));
  }

  EntryStamp stampOf(const std::string& name) override { return real_->stampOf(name); }

  // A file moved there in this preview still lies under its old name.
  bool sameBytes(const std::string& name, const std::string& folderName,
                 const std::string& targetName) override {
    const auto moved = changes_.movedIn.find(folderName + "/" + targetName);
    if (moved == changes_.movedIn.end()) return real_->sameBytes(name, folderName, targetName);
    return sameContents(*real_->openEntry(name, Links::Follow),
                        *real_->openEntry(moved->second, Links::Follow));
  }

 private:
  std::unique_ptr<Folder> real_;
  PreviewFileSystem::Changes& changes_;
};

}  // namespace

std::unique_ptr<Folder> PreviewFileSystem::openFolder(const std::string& path) {
  return std::make_unique<PreviewFolder>(real_.openFolder(path), changes_[path]);
}

}  // namespace kelvane
