#include "posix/run_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "journal/record_check.h"
#include "platform/posix/file_failure.h"

namespace kelvane::posix {
namespace {

constexpr std::string_view kJournal = ".journal";
constexpr std::string_view kUndo = ".undo";

[[noreturn]] void failAt(const std::string& path, int error) {
  FileFailure failure = fileFailureFromErrno(error);
  failure.setPath(path);
  throw failure;
}

// Makes the folder and those above it, for this user only.
void makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) failAt(folder, errno);
    if (slash == std::string::npos) return;
  }
}

// Each record in one write, before the change it announces: a process killed
// at any moment leaves every record of a change it made.
void appendWhole(int fd, const std::string& path, const std::string& record) {
  std::size_t done = 0;
  while (done < record.size()) {
    const ssize_t written = ::write(fd, record.data() + done, record.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      failAt(path, errno);
    }
    done += static_cast<std::size_t>(written);
  }
}

// The same, on the disk before the change it announces.
void appendDurably(int fd, const std::string& path, const std::string& record) {
  appendWhole(fd, path, record);
  if (::fdatasync(fd) != 0) failAt(path, errno);
}

void syncFolder(const std::string& path) {
  const Descriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid() || ::fsync(folder.get()) != 0) failAt(path, errno);
}

// All of a file, from its start.
std::string textOf(int fd, const std::string& path) {
  std::string text;
  std::array<char, 65536> block{};
  for (;;) {
    const ssize_t got = ::pread(fd, block.data(), block.size(), static_cast<off_t>(text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failAt(path, errno);
    if (got == 0) return text;
    text.append(block.data(), static_cast<std::size_t>(got));
  }
}

// All of a file; nothing when there is none.
std::string textOf(const std::string& path) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.valid()) return textOf(fd.get(), path);
  if (errno != ENOENT) failAt(path, errno);
  return {};
}

// Takes the lock without waiting; false when another holds it. A lock is
// the open file's, and the kernel lets it go when the holder dies.
bool tryLock(int fd, int kind, const std::string& path) {
  while (::flock(fd, kind | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return false;
    if (errno != EINTR) failAt(path, errno);
  }
  return true;
}

std::string localTime(std::time_t when, const char* format) {
  std::tm local{};
  ::localtime_r(&when, &local);
  std::array<char, 32> text{};
  return std::string(text.data(), std::strftime(text.data(), text.size(), format, &local));
}

// The first two lines of a file, or as much of them as there is.
std::string headOf(int fd, const std::string& path) {
  std::string head;
  std::array<char, 4096> block{};
  while (std::count(head.begin(), head.end(), '\n') < 2) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failAt(path, errno);
    if (got == 0) break;
    head.append(block.data(), static_cast<std::size_t>(got));
  }
  return head;
}

// Where a run comes in the order runs started: runs of the current format
// by their start in UTC, after every run of the first format (it was
// written before them), and those by the time of their last record, which
// the kernel keeps in UTC too. Nothing for a journal without a header or
// without any record.
struct StartOrder {
  bool current = false;
  std::int64_t nanoseconds = 0;
};

std::optional<StartOrder> startOrderOf(const std::string& path) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) failAt(path, errno);
  const journal::JournalHead head = journal::readHead(headOf(fd.get(), path));
  if (!head.recorded) return std::nullopt;
  if (head.startedUtc) return StartOrder{true, *head.startedUtc};
  return StartOrder{false, info.st_mtim.tv_sec * std::int64_t{1'000'000'000} + info.st_mtim.tv_nsec};
}

}  // namespace

std::string RunStore::defaultFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/kelvane/runs";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/kelvane/runs";
  return {};
}

// A journal without a header or without any record was left by a run that
// could not write its first record (by an earlier release: journals are now
// named only once they hold one), and is passed over. Ids are local times,
// which a change of time zone or the end of summer time reorders: they only
// order runs that started at the same moment.
std::vector<std::string> RunStore::runIds() const {
  std::vector<std::string> ids;
  DIR* const listing = ::opendir(folder_.c_str());
  if (listing == nullptr) {
    if (errno == ENOENT) return ids;
    failAt(folder_, errno);
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() > kJournal.size() && name.ends_with(kJournal)) {
      ids.push_back(name.substr(0, name.size() - kJournal.size()));
    }
  }
  ::closedir(listing);
  std::vector<std::pair<StartOrder, std::string>> runs;
  for (std::string& id : ids) {
    if (const std::optional<StartOrder> order = startOrderOf(journalPath(id)))
      runs.emplace_back(*order, std::move(id));
  }
  // An id is the start time, "YYYYMMDD-HHMMSS", and for a later run of the
  // same second a suffix "-2", "-3"...: a longer suffix is a later run.
  const auto order = [](const std::pair<StartOrder, std::string>& run) {
    const auto& [start, id] = run;
    return std::tuple(start.current, start.nanoseconds, id.substr(0, 15), id.size(), id);
  };
  std::sort(runs.begin(), runs.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
  ids.clear();
  for (auto& run : runs) ids.push_back(std::move(run.second));
  return ids;
}

std::string RunStore::journalPath(const std::string& id) const {
  return folder_ + "/" + id + std::string(kJournal);
}

std::string RunStore::undoPath(const std::string& id) const {
  return folder_ + "/" + id + std::string(kUndo);
}

// A run holds its journal locked from before the journal has its name until
// the run ends; an undo holds it shared, so a run that still goes is told
// from one being taken back.
bool RunStore::running(const std::string& id) const {
  const std::string path = journalPath(id);
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) failAt(path, errno);
  return !tryLock(fd.get(), LOCK_SH, path);
}

journal::RunHistory RunStore::read(const std::string& id) const {
  return journal::readHistory(id, textOf(journalPath(id)), textOf(undoPath(id)));
}

// Syncs a file to the disk on a thread of its own when asked, so that the
// asking thread goes on while the disk catches up; where no thread can be
// had, at once.
class BackgroundSync {
 public:
  explicit BackgroundSync(int fd) : fd_(fd) {
    try {
      thread_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
    }
  }

  ~BackgroundSync() {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  BackgroundSync(const BackgroundSync&) = delete;
  BackgroundSync& operator=(const BackgroundSync&) = delete;

  // Asks for a sync. The first failure of any sync so far, as an errno; 0
  // when none failed.
  int request() {
    if (!thread_.joinable()) return ::fdatasync(fd_) == 0 ? 0 : errno;
    {
      const std::lock_guard lock(mutex_);
      wanted_ = true;
    }
    wake_.notify_one();
    return failure_.load();
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return wanted_ || stopping_; });
      if (!wanted_) return;  // stopping, with nothing asked
      wanted_ = false;
      lock.unlock();
      if (::fdatasync(fd_) != 0) {
        int none = 0;
        failure_.compare_exchange_strong(none, errno);
      }
      lock.lock();
    }
  }

  const int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool wanted_ = false;
  bool stopping_ = false;
  std::atomic<int> failure_{0};
  std::thread thread_;  // last: it starts once the rest is made
};

// The journal names folders whole, so that a run can be taken back from any
// working folder. Asked to allocate, glibc's getcwd finds the working
// folder's whole path by walking ".." where the kernel's answer would be too
// long (deeper than PATH_MAX).
RunJournal::RunJournal(const RunStore& store, std::function<void(const RuntimeFailure&)> unrecorded)
    : store_(store), unrecorded_(std::move(unrecorded)) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  id_ = localTime(now.tv_sec, "%Y%m%d-%H%M%S");
  started_ = localTime(now.tv_sec, "%Y-%m-%d %H:%M:%S");
  startedUtc_ = now.tv_sec * std::int64_t{1'000'000'000} + now.tv_nsec;
  const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  if (folder == nullptr) {
    workingFolderError_ = errno;
  } else if (folder.get()[0] == '/') {
    workingFolder_ = folder.get();
  }
}

// Nothing when the folder is relative and there is no whole path to the
// working folder.
std::optional<std::string> RunJournal::whole(const std::string& folder) const {
  if (folder.starts_with('/')) return folder;
  if (workingFolder_.empty()) return std::nullopt;
  return folder == "." ? workingFolder_ : workingFolder_ + "/" + folder;
}

// Without a whole path to the working folder, a relative folder would be
// recorded as text that names another folder from elsewhere: the run is not
// recorded instead, or, with records made already, stops.
std::optional<std::string> RunJournal::recordedPath(const std::string& folder) {
  if (!recording_) return std::nullopt;
  if (std::optional<std::string> path = whole(folder)) return path;
  FileFailure failure = fileFailureFromErrno(workingFolderError_);
  failure.setPath(folder + " (no whole path to the working folder)");
  if (fd_.valid()) throw failure;
  stopRecording(failure);
  return std::nullopt;
}

void RunJournal::stopRecording(const RuntimeFailure& failure) {
  recording_ = false;
  unrecorded_(failure);
}

void RunJournal::warnOnStandardError(const RuntimeFailure& failure) {
  std::cerr << "Kelvane: this run is not recorded and cannot be undone: " << failure.report() << '\n';
}

void RunJournal::sortingFolder(const std::string& folder, const EntryIdentity& identity) {
  if (const std::optional<std::string> path = whole(folder)) heldFolders_[*path] = {identity, false};
}

void RunJournal::creatingFolder(const std::string& folder, const std::string& dateFolder) {
  if (const std::optional<std::string> path = recordedPath(folder))
    appendAbout(*path, journal::createRecord(*path, dateFolder));
}

void RunJournal::createdFolder(const std::string& folder, const std::string& dateFolder,
                               const EntryIdentity& identity) {
  if (const std::optional<std::string> path = recordedPath(folder))
    appendAbout(*path, journal::madeRecord(*path, dateFolder, identity));
}

void RunJournal::moving(const std::string& folder, const std::string& name, const MoveStep& step,
                        const std::string& dateFolder, const std::string& target) {
  if (const std::optional<std::string> path = recordedPath(folder))
    appendAbout(*path, journal::moveRecord({*path, name, dateFolder, target, step.entry, step.newLink}));
}

void RunJournal::appendAbout(const std::string& folder, const std::string& record) {
  const auto held = heldFolders_.find(folder);
  if (held != heldFolders_.end() && !held->second.recorded) {
    append(journal::folderRecord(folder, held->second.identity));
    held->second.recorded = true;
  }
  append(record);
}

void RunJournal::append(const std::string& record) {
  if (!recording_) return;
  if (fd_.valid()) {
    appendWhole(fd_.get(), path_, record);
  } else {
    try {
      create(record);
    } catch (const RuntimeFailure& failure) {
      stopRecording(failure);
      return;
    }
    syncFolder(store_.folder());  // so that the journal's name survives a crash as well as its records
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastSync_ < kSyncInterval) return;
  lastSync_ = now;
  if (const int error = syncer_->request(); error != 0) failAt(path_, error);
}

RunJournal::~RunJournal() {
  syncer_.reset();
  if (fd_.valid()) ::fdatasync(fd_.get());  // the records are written: a failure here loses none of them
}

// Written under a temporary name, locked, header and first record, and only
// then given its name: no journal is ever without a record or seen unlocked
// while its run goes, and a run that cannot write one leaves none.
void RunJournal::create(const std::string& firstRecord) {
  if (store_.folder().empty()) {
    FileFailure failure(75, "Path/File access error");
    failure.setPath("$XDG_STATE_HOME or $HOME (no folder to keep the run's journal in)");
    throw failure;
  }
  makeFolders(store_.folder());
  std::string temporary = store_.folder() + "/.new-XXXXXX";
  Descriptor fd(::mkostemp(temporary.data(), O_APPEND | O_CLOEXEC));
  if (!fd.valid()) failAt(store_.folder(), errno);
  try {
    if (!tryLock(fd.get(), LOCK_EX, temporary)) failAt(temporary, EWOULDBLOCK);
    appendWhole(fd.get(), temporary, journal::headerRecord(started_, startedUtc_) + firstRecord);
    path_ = nameInPlace(temporary);
  } catch (const RuntimeFailure&) {
    ::unlink(temporary.c_str());
    throw;
  }
  fd_ = std::move(fd);
  syncer_ = std::make_unique<BackgroundSync>(fd_.get());
}

// The id is the local start time; a run that starts in the same second as
// another, or in a second that the end of summer time repeats, gets the
// first free suffix. Never replaces a journal.
std::string RunJournal::nameInPlace(const std::string& temporary) const {
  for (int suffix = 1;; ++suffix) {
    const std::string path = store_.journalPath(suffix == 1 ? id_ : id_ + "-" + std::to_string(suffix));
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return path;
    if (errno != EEXIST || suffix == 1000) failAt(path, errno);
  }
}

// The run's journal is held shared, so that no run can hold it (a run that
// still goes holds it alone), and the undo's own journal alone, so that no
// other undo works on the run at the same time; the records are read once
// both are held.
UndoJournal::UndoJournal(const RunStore& store, const std::string& id) : path_(store.undoPath(id)) {
  const std::string journal = store.journalPath(id);
  journalFd_ = Descriptor(::open(journal.c_str(), O_RDONLY | O_CLOEXEC));
  if (!journalFd_.valid()) failAt(journal, errno);
  if (!tryLock(journalFd_.get(), LOCK_SH, journal)) {
    refusal_.push_back("run " + id + " is still running: it can be taken back once it has ended");
    return;
  }
  fd_ = Descriptor(::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_.valid()) failAt(path_, errno);
  if (!tryLock(fd_.get(), LOCK_EX, path_)) {
    refusal_.push_back("run " + id + " is being taken back by another undo now");
    return;
  }
  run_ = journal::readHistory(id, textOf(journalFd_.get(), journal), textOf(fd_.get(), path_));
  for (const journal::InvalidRecord& invalid : journal::invalidRecords(run_)) {
    refusal_.push_back(journal + ":" + std::to_string(invalid.line) + ": " + invalid.reason);
  }
  if (!refusal_.empty()) {
    refusal_.push_back("run " + id +
                       " is not taken back: its journal holds records that are not valid (changed "
                       "or damaged), so nothing is done");
  }
}

void UndoJournal::linkMadeBack(std::size_t index, const EntryStamp& newLink) {
  append(journal::linkMadeBackRecord(index, newLink));
}

void UndoJournal::movedBack(std::size_t index) { append(journal::movedBackRecord(index)); }

void UndoJournal::undone() { append(journal::undoneRecord()); }

void UndoJournal::append(const std::string& record) { appendDurably(fd_.get(), path_, record); }

}  // namespace kelvane::posix
