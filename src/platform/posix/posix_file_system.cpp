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

std::string linkText(int folder, const std::string& name) {
  std::string text(PATH_MAX, '\0');
  const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
  if (length < 0) failWithErrno();
  text.resize(static_cast<std::size_t>(length));
  return text;
}

bool isLinkTo(int folder, const std::string& name, const std::string& text) {
  struct stat info {};
  return entryAt(folder, name.c_str(), info) && S_ISLNK(info.st_mode) && linkText(folder, name) == text;
}

// A link is made anew under the new name with the text it needs there, and
// the old one is then removed; finding the new one made already means that an
// earlier move was cut short there.
void relink(int from, const std::string& name, const EntryIdentity& expected, int to,
            const std::string& newName, const std::string& text) {
  if (::symlinkat(text.c_str(), to, newName.c_str()) != 0) {
    const int error = errno;
    if (error != EEXIST || !isLinkTo(to, newName, text)) throw fileFailureFromErrno(error);
  } else if (struct stat now{}; !entryAt(from, name.c_str(), now) || identityOf(now) != expected) {
    ::unlinkat(to, newName.c_str(), 0);
    failure::entryChanged();
  }
  removeEntry(from, name);
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

bool isRegularFile(int folder, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return entryAt(folder, entry.d_name, info) && S_ISREG(info.st_mode);
}

class PosixFolder : public Folder {
 public:
  explicit PosixFolder(Descriptor fd) : fd_(std::move(fd)) {}

  // Names beginning with "." are this platform's hidden files. Symbolic links
  // inside a photo folder are not plain files and stay where they are. Sorted
  // by their bytes, so that a run's log does not depend on the file system's
  // order.
  NameList listPlainFiles() override {
    // A descriptor of its own, so that the listing's position is not shared.
    const int listingFd = checkedDescriptor(::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* const listing = ::fdopendir(listingFd);
    if (listing == nullptr) {
      const int error = errno;
      ::close(listingFd);
      throw fileFailureFromErrno(error);
    }
    const std::unique_ptr<DIR, ListingCloser> closer(listing);
    NameList names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
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

  // mkdirat never follows a link at the name: a link there, even a dangling
  // one, is a taken name.
  void createFolder(const std::string& name) override {
    if (name == dateFolderName_) dateFolder_ = Descriptor();  // a new folder at the name: opened afresh
    if (::mkdirat(fd_.get(), name.c_str(), 0777) == 0) return;
    const int error = errno;
    if (error == EEXIST && hasFolder(name)) return;  // another run made it meanwhile
    throw fileFailureFromErrno(error);
  }

  void moveInto(const std::string& name, const EntryIdentity& expected, const std::string& folderName,
                const std::string& targetName, const BeforeMove& beforeMove) override {
    const int target = dateFolder(folderName);
    struct stat source {};
    if (!entryAt(fd_.get(), name.c_str(), source)) failWithErrno();
    // A folder made where the file was may have its inode number.
    if (identityOf(source) != expected || S_ISDIR(source.st_mode)) failure::entryChanged();
    if (beforeMove) beforeMove(stampFrom(source));
    if (S_ISLNK(source.st_mode)) {
      // A link keeps its text when renamed, so a relative one would lead
      // nowhere one folder further down: the moved link gets one "../" more.
      std::string text = linkText(fd_.get(), name);
      if (text.empty() || text.front() != '/') text.insert(0, "../");
      relink(fd_.get(), name, expected, target, targetName, text);
    } else {
      moveNoReplace(fd_.get(), name, source, target, targetName);
    }
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

  void moveBack(const std::string& folderName, const std::string& targetName, const EntryStamp& moved,
                const std::string& name) override;

  // Anything but a regular file on either side (a folder, a FIFO, a link) is
  // never the same: looked at first, so that nothing else is ever opened.
  bool sameBytes(const std::string& name, const std::string& folderName,
                 const std::string& targetName) override {
    struct stat info {};
    if (!entryAt(fd_.get(), name.c_str(), info) || !S_ISREG(info.st_mode)) return false;
    if (!entryAt(dateFolder(folderName), targetName.c_str(), info) || !S_ISREG(info.st_mode)) return false;
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
  Descriptor dateFolder_;
  std::string dateFolderName_;
  ReadAhead readAhead_{fd_.get()};  // after fd_: its threads end before the folder closes
};

class PosixSortedFolder : public SortedFolder {
 public:
  explicit PosixSortedFolder(Descriptor fd) : fd_(std::move(fd)) {}

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
                const std::string& originalName) override {
    const int folder = subFolder(folderName);
    struct stat source {};
    if (folder < 0 || !entryAt(folder, name.c_str(), source)) throw fileFailureFromErrno(ENOENT);
    if (S_ISLNK(source.st_mode) && expected.entry.symbolicLink) {
      // Made anew by the move, with one "../" more than it had.
      std::string text = linkText(folder, name);
      if (text.starts_with("../")) text.erase(0, 3);
      relink(folder, name, identityOf(source), fd_.get(), originalName, text);
    } else {
      if (stampFrom(source) != expected) failure::entryChanged();
      moveNoReplace(folder, name, source, fd_.get(), originalName);
    }
  }

  bool removeFolderIfEmpty(const std::string& folderName) override {
    if (folderName == subName_) sub_ = Descriptor();
    if (::unlinkat(fd_.get(), folderName.c_str(), AT_REMOVEDIR) == 0) return true;
    if (errno == ENOTEMPTY || errno == EEXIST || errno == ENOENT || errno == ENOTDIR) return false;
    failWithErrno();
  }

 private:
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
  Descriptor sub_;
  std::string subName_;
};

// A move taken back during the run is taken back as an undo takes it back.
void PosixFolder::moveBack(const std::string& folderName, const std::string& targetName,
                           const EntryStamp& moved, const std::string& name) {
  PosixSortedFolder(Descriptor(checkedDescriptor(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0))))
      .moveBack(folderName, targetName, moved, name);
}

}  // namespace

std::unique_ptr<SortedFolder> PosixFileSystem::openSortedFolder(const std::string& path) {
  const PathEnd end = endOf(path);
  return std::make_unique<PosixSortedFolder>(Descriptor(
      checkedDescriptor(::openat(end.at(), end.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))));
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
      Descriptor(checkedDescriptor(::openat(end.at(), end.name.c_str(), flags))));
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForReading(const std::string& path) {
  const PathEnd end = endOf(path);
  return openRegularFile(end.at(), end.name.c_str(), 0, nullptr);
}

}  // namespace kelvane::posix
