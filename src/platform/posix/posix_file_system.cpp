#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/posix/descriptor.h"
#include "platform/posix/file_failure.h"
#include "platform/posix/read_ahead.h"
#include "platform/same_contents.h"

namespace kelvane::posix {
namespace {

[[noreturn]] void failWithErrno() { throw fileFailureFromErrno(errno); }

int checkedDescriptor(int fd) {
  if (fd < 0) failWithErrno();
  return fd;
}

EntryIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          S_ISLNK(info.st_mode)};
}

EntryIdentity identityOfDescriptor(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) failWithErrno();
  return identityOf(info);
}

EntryStamp stampFrom(const struct stat& info) {
  return {identityOf(info), static_cast<std::int64_t>(info.st_size),
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// The entry itself at a name, a link not followed; false when there is none.
bool entryAt(int folder, const char* name, struct stat& info) {
  return ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void removeEntry(int folder, const std::string& name) {
  if (::unlinkat(folder, name.c_str(), 0) != 0) failWithErrno();
}

// Two names of one file: what a move cut short between linking the new name
// and removing the old one leaves behind.
bool interruptedMove(const struct stat& source, int target, const std::string& name) {
  struct stat moved {};
  return entryAt(target, name.c_str(), moved) && S_ISREG(source.st_mode) && source.st_nlink >= 2 &&
         moved.st_dev == source.st_dev && moved.st_ino == source.st_ino;
}

// rename(2) would silently replace a file of the target name, so the move
// asks the kernel not to; where a file system cannot, it links the new name
// and then removes the old one. Finding the target taken by the very file
// being moved means an earlier move was cut short there: removing the old
// name finishes it.
void moveNoReplace(int from, const std::string& name, const struct stat& source, int to,
                   const std::string& newName) {
  if (::renameat2(from, name.c_str(), to, newName.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
    if (::linkat(from, name.c_str(), to, newName.c_str(), 0) == 0) {
      removeEntry(from, name);
      return;
    }
    error = errno;
  }
  if (error == EEXIST && interruptedMove(source, to, newName)) {
    removeEntry(from, name);
    return;
  }
  throw fileFailureFromErrno(error);
}

void pause(const BetweenSteps& between, Step step) {
  if (between) between(step);
}

// A rename moves whatever stands at the name at that instant, so what the
// new name holds afterwards is checked: an entry another program swapped in
// after the check goes back under its own name, never replacing anything,
// and the move fails. Size and modification time are compared too, which a
// rename keeps: a new file may get the inode number just freed.
void moveChecked(const BetweenSteps& between, int from, const std::string& name, const struct stat& source,
                 int to, const std::string& newName) {
  moveNoReplace(from, name, source, to, newName);
  pause(between, Step::EntryMoved);
  struct stat moved {};
  if (entryAt(to, newName.c_str(), moved) && stampFrom(moved) == stampFrom(source)) return;
  ::renameat2(to, newName.c_str(), from, name.c_str(), RENAME_NOREPLACE);
  failure::entryChanged();
}

std::string linkText(int folder, const std::string& name) {
  std::string text(PATH_MAX, '\0');
  const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
  if (length < 0) failWithErrno();
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// A link keeps its text when renamed, so a relative one would lead nowhere
// one folder further down: filed, it gets one "../" more; taken back, one
// less.
constexpr std::string_view kUp = "../";

std::string textOneFolderDown(const std::string& text) {
  return text.empty() || text.front() == '/' ? text : std::string(kUp) + text;
}

std::string textOneFolderUp(const std::string& text) {
  return text.starts_with(kUp) ? text.substr(kUp.size()) : text;
}

// The replacement of a link whose text changes waits under a hidden name of
// its own, named by the link the run found, so that taking the run back
// finds what a move cut short left.
constexpr std::string_view kLinkLeftover = ".kelvane-link-";

std::string leftoverName(const EntryIdentity& original) {
  return std::string(kLinkLeftover) + std::to_string(original.inode);
}

bool isLinkAt(int folder, const std::string& name) {
  struct stat info {};
  return entryAt(folder, name.c_str(), info) && S_ISLNK(info.st_mode);
}

// A hidden link of ours only: whatever else stands at the name stays.
void removeLeftover(int folder, const std::string& name) {
  if (isLinkAt(folder, name)) ::unlinkat(folder, name.c_str(), 0);
}

// A new link with `text` under the leftover name, replacing the one an
// earlier move cut short left there.
EntryStamp makeReplacement(int folder, const std::string& tempName, const std::string& text) {
  removeLeftover(folder, tempName);
  if (::symlinkat(text.c_str(), folder, tempName.c_str()) != 0) failWithErrno();
  struct stat made {};
  if (!entryAt(folder, tempName.c_str(), made)) failWithErrno();
  return stampFrom(made);
}

// The replacement takes the link's place in one step that leaves a link at
// the name at every instant; the old link, now under the temporary name, is
// then removed if it is the one expected. Where another program swapped an
// entry in at the name meanwhile, that entry is given back its name, and the
// replacement goes. A file system without the exchange replaces the link,
// checked the instant before.
void swapInReplacement(const BetweenSteps& between, int folder, const std::string& name,
                       const std::string& tempName, const EntryIdentity& old) {
  pause(between, Step::LinkReady);
  if (::renameat2(folder, tempName.c_str(), folder, name.c_str(), RENAME_EXCHANGE) != 0) {
    if (errno != EINVAL) failWithErrno();
    struct stat there {};
    if (!entryAt(folder, name.c_str(), there) || identityOf(there) != old) failure::entryChanged();
    if (::renameat(folder, tempName.c_str(), folder, name.c_str()) != 0) failWithErrno();
    return;
  }
  pause(between, Step::LinkSwapped);
  struct stat swapped {};
  if (entryAt(folder, tempName.c_str(), swapped) && identityOf(swapped) == old) {
    removeEntry(folder, tempName);
    return;
  }
  ::renameat2(folder, tempName.c_str(), folder, name.c_str(), RENAME_EXCHANGE);
  removeLeftover(folder, tempName);
  failure::entryChanged();
}

// Moves a checked link, which keeps its identity, then gives it the text it
// needs there. The replacement is made before anything moves, so that the
// journal hears of both links first: at every instant the link stands under
// exactly one of its two names, and a move cut short anywhere is taken back
// by the identities recorded.
void moveLink(const BetweenSteps& between, int from, const std::string& name, const struct stat& source,
              int to, const std::string& newName, const std::string& newText, const EntryIdentity& original,
              const std::function<void(const std::optional<EntryStamp>&)>& beforeMove) {
  const std::string tempName = leftoverName(original);
  const bool textChanges = newText != linkText(from, name);
  const std::optional<EntryStamp> replacement =
      textChanges ? std::optional(makeReplacement(to, tempName, newText)) : std::nullopt;
  try {
    beforeMove(replacement);
    pause(between, Step::EntryChecked);
    moveChecked(between, from, name, source, to, newName);
  } catch (...) {
    if (replacement) removeLeftover(to, tempName);
    throw;
  }
  if (replacement) swapInReplacement(between, to, newName, tempName, identityOf(source));
}

// The folder that holds a path's last name, and that name. The kernel refuses
// a path of PATH_MAX bytes or more: such a path is walked one folder at a
// time, each opened relative to the one before, following links as the path
// itself would.
struct PathEnd {
  Descriptor folder;  // not valid: the working folder
  std::string name;

  int at() const { return folder.valid() ? folder.get() : AT_FDCWD; }
};

PathEnd endOf(const std::string& path) {
  if (path.size() < PATH_MAX) return {Descriptor(), path};
  PathEnd end{
      Descriptor(path.front() == '/' ? checkedDescriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)) : -1),
      {}};
  std::size_t start = 0;
  for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
    const std::string name = path.substr(start, slash - start);
    start = slash + 1;
    if (!name.empty()) {
      end.folder =
          Descriptor(checkedDescriptor(::openat(end.at(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)));
    }
  }
  end.name = start == path.size() ? "." : path.substr(start);
  return end;
}

// What the path leads to, links followed; false when it leads nowhere.
bool statusOf(const std::string& path, struct stat& info) {
  try {
    const PathEnd end = endOf(path);
    return ::fstatat(end.at(), end.name.c_str(), &info, 0) == 0;
  } catch (const FileFailure&) {
    return false;
  }
}

class PosixFile : public RandomAccessFile {
 public:
  PosixFile(Descriptor fd, std::int64_t size, EntryIdentity entry, std::optional<std::int64_t> scannedPair)
      : fd_(std::move(fd)), size_(size), entry_(entry), scannedPair_(scannedPair) {}

  std::int64_t size() const override { return size_; }
  EntryIdentity entry() const override { return entry_; }
  std::optional<std::int64_t> scannedMarkerPair() const override { return scannedPair_; }

  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t got = ::pread(fd_.get(), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (got < 0) {
        if (errno == EINTR) continue;
        failWithErrno();
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  Descriptor fd_;
  std::int64_t size_;
  EntryIdentity entry_;
  std::optional<std::int64_t> scannedPair_;
};

// Non-blocking, so that a FIFO cannot hang the open; anything but a regular
// file is refused. A file the folder's read-ahead scanned comes with what the
// scan found.
std::unique_ptr<RandomAccessFile> openRegularFile(int folder, const char* name, int extraFlags,
                                                  const EntryIdentity* link, ReadAhead* readAhead = nullptr) {
  Descriptor fd(
      checkedDescriptor(::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | extraFlags)));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) failWithErrno();
  if (!S_ISREG(info.st_mode)) throw fileFailureFromErrno(S_ISDIR(info.st_mode) ? EISDIR : ENODEV);
  return std::make_unique<PosixFile>(
      std::move(fd), static_cast<std::int64_t>(info.st_size), link != nullptr ? *link : identityOf(info),
      readAhead != nullptr ? readAhead->scannedMarkerPair(info) : std::nullopt);
}

struct ListingCloser {
  void operator()(DIR* listing) const { ::closedir(listing); }
};
using Listing = std::unique_ptr<DIR, ListingCloser>;

// A descriptor of its own, so that the listing's position is not shared.
Listing listingOf(int folder) {
  const int listingFd = checkedDescriptor(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* const listing = ::fdopendir(listingFd);
  if (listing == nullptr) {
    const int error = errno;
    ::close(listingFd);
    throw fileFailureFromErrno(error);
  }
  return Listing(listing);
}

bool isRegularFile(int folder, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return entryAt(folder, entry.d_name, info) && S_ISREG(info.st_mode);
}

class PosixFolder : public Folder {
 public:
  PosixFolder(Descriptor fd, BetweenSteps between) : fd_(std::move(fd)), between_(std::move(between)) {}

  // Names beginning with "." are this platform's hidden files. Symbolic links
  // inside a photo folder are not plain files and stay where they are. Sorted
  // by their bytes, so that a run's log does not depend on the file system's
  // order.
  NameList listPlainFiles() override {
    const Listing listing = listingOf(fd_.get());
    NameList names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
      if (entry->d_name[0] != '.' && isRegularFile(fd_.get(), *entry)) names.add(entry->d_name);
      errno = 0;
    }
    if (errno != 0) failWithErrno();
    names.sortByBytes();
    return names;
  }

  void readingNext(const NameList& names, std::size_t index) override {
    readAhead_.readingNext(names, index);
  }

  std::unique_ptr<RandomAccessFile> openEntry(const std::string& name, Links links) override {
    struct stat info {};
    if (links == Links::Follow && entryAt(fd_.get(), name.c_str(), info) && S_ISLNK(info.st_mode)) {
      const EntryIdentity link = identityOf(info);
      return openRegularFile(fd_.get(), name.c_str(), 0, &link, &readAhead_);
    }
    return openRegularFile(fd_.get(), name.c_str(), O_NOFOLLOW, nullptr, &readAhead_);
  }

  bool hasEntry(const std::string& name) override {
    struct stat info {};
    return entryAt(fd_.get(), name.c_str(), info);
  }

  bool hasFolder(const std::string& name) override {
    struct stat info {};
    return entryAt(fd_.get(), name.c_str(), info) && S_ISDIR(info.st_mode);
  }

  EntryIdentity identity() override { return identityOfDescriptor(fd_.get()); }

  // mkdirat never follows a link at the name: a link there, even a dangling
  // one, is a taken name.
  EntryIdentity createFolder(const std::string& name) override {
    if (name == dateFolderName_) dateFolder_ = Descriptor();  // a new folder at the name: opened afresh
    if (::mkdirat(fd_.get(), name.c_str(), 0777) != 0) {
      const int error = errno;
      if (error != EEXIST || !hasFolder(name)) throw fileFailureFromErrno(error);  // else made meanwhile
    }
    return identityOfDescriptor(dateFolder(name));
  }

  void moveInto(const std::string& name, const EntryIdentity& expected, const std::string& folderName,
                const std::string& targetName, const BeforeMove& beforeMove) override {
    const int target = dateFolder(folderName);
    struct stat source {};
    if (!entryAt(fd_.get(), name.c_str(), source)) failWithErrno();
    // A folder made where the file was may have its inode number.
    if (identityOf(source) != expected || S_ISDIR(source.st_mode)) failure::entryChanged();
    const EntryStamp stamp = stampFrom(source);
    if (S_ISLNK(source.st_mode)) {
      moveLink(between_, fd_.get(), name, source, target, targetName,
               textOneFolderDown(linkText(fd_.get(), name)), expected,
               [&](const std::optional<EntryStamp>& newLink) {
                 if (beforeMove) beforeMove({stamp, newLink});
               });
      return;
    }
    if (beforeMove) beforeMove({stamp, std::nullopt});
    pause(between_, Step::EntryChecked);
    moveChecked(between_, fd_.get(), name, source, target, targetName);
  }

  EntryStamp stampOf(const std::string& name) override {
    struct stat info {};
    if (!entryAt(fd_.get(), name.c_str(), info)) failWithErrno();
    return stampFrom(info);
  }

  bool hasEntryIn(const std::string& folderName, const std::string& targetName) override {
    struct stat info {};
    return entryAt(dateFolder(folderName), targetName.c_str(), info);
  }

  bool sameBytes(const std::string& name, const std::string& folderName,
                 const std::string& targetName) override {
    const std::unique_ptr<RandomAccessFile> mine =
        openRegularFile(fd_.get(), name.c_str(), O_NOFOLLOW, nullptr);
    const std::unique_ptr<RandomAccessFile> theirs =
        openRegularFile(dateFolder(folderName), targetName.c_str(), O_NOFOLLOW, nullptr);
    return sameContents(*mine, *theirs);
  }

 private:
  // Opened without following a link, so that a link planted at the date
  // folder's name after it was checked is never entered: like a file there,
  // it is a taken name. Photos of one day mostly come one after another, so
  // the last date folder stays open for the next move.
  int dateFolder(const std::string& name) {
    if (dateFolder_.valid() && name == dateFolderName_) return dateFolder_.get();
    dateFolder_ =
        Descriptor(::openat(fd_.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dateFolder_.valid()) throw fileFailureFromErrno(errno == ELOOP || errno == ENOTDIR ? EEXIST : errno);
    dateFolderName_ = name;
    return dateFolder_.get();
  }

  Descriptor fd_;
  BetweenSteps between_;
  Descriptor dateFolder_;
  std::string dateFolderName_;
  ReadAhead readAhead_{fd_.get()};  // after fd_: its threads end before the folder closes
};

class PosixSortedFolder : public SortedFolder {
 public:
  PosixSortedFolder(Descriptor fd, BetweenSteps between) : fd_(std::move(fd)), between_(std::move(between)) {}

  EntryIdentity identity() override { return identityOfDescriptor(fd_.get()); }

  std::optional<EntryStamp> stampAt(const std::string& folderName, const std::string& name) override {
    const int folder = folderName.empty() ? fd_.get() : subFolder(folderName);
    if (folder < 0) return std::nullopt;
    struct stat info {};
    if (!entryAt(folder, name.c_str(), info)) {
      if (errno == ENOENT) return std::nullopt;
      failWithErrno();
    }
    return stampFrom(info);
  }

  void moveBack(const std::string& folderName, const std::string& name, const EntryStamp& expected,
                const std::string& originalName, const std::optional<FiledLink>& link,
                const BeforeMove& beforeMove) override {
    const int folder = subFolder(folderName);
    struct stat source {};
    if (folder < 0 || !entryAt(folder, name.c_str(), source)) throw fileFailureFromErrno(ENOENT);
    const EntryStamp stamp = stampFrom(source);
    if (!link) {
      if (stamp != expected) failure::entryChanged();
      if (beforeMove) beforeMove({stamp, std::nullopt});
      pause(between_, Step::EntryChecked);
      moveChecked(between_, folder, name, source, fd_.get(), originalName);
      return;
    }
    if (!S_ISLNK(source.st_mode) || stamp != expected) failure::entryChanged();
    const std::string text = linkText(folder, name);
    moveLink(between_, folder, name, source, fd_.get(), originalName,
             link->runText ? textOneFolderUp(text) : text, link->original,
             [&](const std::optional<EntryStamp>& newLink) {
               if (beforeMove) beforeMove({stamp, newLink});
             });
  }

  void restoreLinkText(const std::string& name, const EntryStamp& expected, const FiledLink& link,
                       const BeforeMove& beforeMove) override {
    struct stat found {};
    if (!entryAt(fd_.get(), name.c_str(), found)) failWithErrno();
    if (!S_ISLNK(found.st_mode) || stampFrom(found) != expected) failure::entryChanged();
    const std::string tempName = leftoverName(link.original);
    const EntryStamp replacement =
        makeReplacement(fd_.get(), tempName, textOneFolderUp(linkText(fd_.get(), name)));
    if (beforeMove) beforeMove({stampFrom(found), replacement});
    swapInReplacement(between_, fd_.get(), name, tempName, expected.entry);
  }

  void removeLinkLeftovers(const std::string& folderName, const FiledLink& link) override {
    removeLeftover(fd_.get(), leftoverName(link.original));
    if (const int folder = subFolder(folderName); folder >= 0)
      removeLeftover(folder, leftoverName(link.original));
  }

  // Only the folder the run made: one swapped in at its name since, or
  // reached through a link, stays. The leftovers of link moves cut short in
  // it go with it.
  bool removeFolderIfEmpty(const std::string& folderName, const std::optional<EntryIdentity>& made) override {
    if (folderName == subName_) sub_ = Descriptor();
    struct stat info {};
    if (!entryAt(fd_.get(), folderName.c_str(), info) || !S_ISDIR(info.st_mode)) return false;
    if (made && identityOf(info) != *made) return false;
    removeLinkLeftoversIn(folderName);
    pause(between_, Step::FolderChecked);
    if (::unlinkat(fd_.get(), folderName.c_str(), AT_REMOVEDIR) == 0) return true;
    if (errno == ENOTEMPTY || errno == EEXIST || errno == ENOENT || errno == ENOTDIR) return false;
    failWithErrno();
  }

 private:
  void removeLinkLeftoversIn(const std::string& folderName) {
    const int folder = subFolder(folderName);
    if (folder < 0) return;
    const Listing listing = listingOf(folder);
    while (const dirent* entry = ::readdir(listing.get())) {
      if (std::string_view(entry->d_name).starts_with(kLinkLeftover)) removeLeftover(folder, entry->d_name);
    }
  }

  // Never through a link planted at the date folder's name; -1 when no
  // folder is there.
  int subFolder(const std::string& name) {
    if (!sub_.valid() || name != subName_) {
      sub_ = Descriptor(::openat(fd_.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      subName_ = name;
      if (!sub_.valid() && errno != ENOENT && errno != ENOTDIR && errno != ELOOP) failWithErrno();
    }
    return sub_.get();
  }

  Descriptor fd_;
  BetweenSteps between_;
  Descriptor sub_;
  std::string subName_;
};

}  // namespace

std::unique_ptr<SortedFolder> PosixFileSystem::openSortedFolder(const std::string& path) {
  const PathEnd end = endOf(path);
  return std::make_unique<PosixSortedFolder>(
      Descriptor(checkedDescriptor(::openat(end.at(), end.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))),
      between_);
}

bool PosixFileSystem::FolderExists(const std::string& path) {
  struct stat info {};
  return statusOf(path, info) && S_ISDIR(info.st_mode);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return statusOf(path, info) && S_ISREG(info.st_mode);
}

void PosixFileSystem::checkNamesNothing(const std::string& path) {
  const PathEnd end = endOf(path);
  struct stat info {};
  if (::fstatat(end.at(), end.name.c_str(), &info, 0) != 0 && errno != ENOENT && errno != ENOTDIR)
    failWithErrno();
}

// A link at the last name is followed only when it was a link when looked at
// here: a real folder swapped for a link after that is refused.
std::unique_ptr<Folder> PosixFileSystem::openFolder(const std::string& path) {
  const PathEnd end = endOf(path);
  struct stat info {};
  const bool namedLink = entryAt(end.at(), end.name.c_str(), info) && S_ISLNK(info.st_mode);
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (namedLink ? 0 : O_NOFOLLOW);
  return std::make_unique<PosixFolder>(
      Descriptor(checkedDescriptor(::openat(end.at(), end.name.c_str(), flags))), between_);
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForReading(const std::string& path) {
  const PathEnd end = endOf(path);
  return openRegularFile(end.at(), end.name.c_str(), 0, nullptr);
}

}  // namespace kelvane::posix
