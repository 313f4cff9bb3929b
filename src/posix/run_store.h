// The recorded runs of this user: one journal a run that moved something,
// and one more for taking it back, in the state folder
// ($XDG_STATE_HOME/kelvane/runs, by default ~/.local/state/kelvane/runs),
// never beside the photos.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/run_history.h"
#include "journal/undo_run.h"
#include "platform/posix/descriptor.h"
#include "platform/runtime_failure.h"
#include "sort/move_journal.h"

namespace kelvane::posix {

class RunStore {
 public:
  // The folder from the environment; empty when neither XDG_STATE_HOME (an
  // absolute path) nor HOME says where it is.
  static std::string defaultFolder();

  explicit RunStore(std::string folder) : folder_(std::move(folder)) {}

  const std::string& folder() const { return folder_; }

  // The runs recorded, in the order they started, the last one last.
  std::vector<std::string> runIds() const;
  journal::RunHistory read(const std::string& id) const;
  // Whether the run still goes: it holds its journal until it ends, however
  // it ends.
  bool running(const std::string& id) const;
  std::string journalPath(const std::string& id) const;
  std::string undoPath(const std::string& id) const;

 private:
  std::string folder_;
};

class BackgroundSync;

// The journal of one sort run: made at its first record, so that a run that
// changes nothing leaves none, and named only once that record is in it.
// Every record is handed to the kernel before the call returns, and reaches
// the disk with the next sync (below). Where no journal can be made at all
// (no state folder, one that cannot be written), the run goes on unrecorded,
// as it would without journals, and `unrecorded` hears why, once; a record
// that cannot be added to a journal once made stops the run.
class RunJournal : public MoveJournal {
 public:
  RunJournal(const RunStore& store, std::function<void(const RuntimeFailure&)> unrecorded);
  ~RunJournal() override;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  void sortingFolder(const std::string& folder, const EntryIdentity& identity) override;
  void creatingFolder(const std::string& folder, const std::string& dateFolder) override;
  void createdFolder(const std::string& folder, const std::string& dateFolder,
                     const EntryIdentity& identity) override;
  void moving(const std::string& folder, const std::string& name, const MoveStep& step,
              const std::string& dateFolder, const std::string& target) override;

  // Says on standard error, in a line of its own, that the run is not
  // recorded, and why.
  static void warnOnStandardError(const RuntimeFailure& failure);

 private:
  void append(const std::string& record);
  // Records the held folder's identity before the first record about it.
  void appendAbout(const std::string& folder, const std::string& record);
  void create(const std::string& firstRecord);
  std::string nameInPlace(const std::string& temporary) const;
  std::optional<std::string> whole(const std::string& folder) const;
  std::optional<std::string> recordedPath(const std::string& folder);
  void stopRecording(const RuntimeFailure& failure);

  struct HeldFolder {
    EntryIdentity identity;
    bool recorded = false;
  };
  std::map<std::string, HeldFolder> heldFolders_;  // by whole path

  const RunStore& store_;
  std::function<void(const RuntimeFailure&)> unrecorded_;
  bool recording_ = true;
  // When the run started: the id and the time shown are local, and the
  // start in UTC (nanoseconds since 1970) orders the runs.
  std::string id_;
  std::string started_;
  std::int64_t startedUtc_ = 0;
  std::string workingFolder_;  // whole; empty when there is no whole path to it
  int workingFolderError_ = ENOENT;
  // Records go to the disk in groups: with the first record written this
  // long or longer after the last sync, and when the journal closes. A disk
  // sync for every move would cost more than the moves themselves, and the
  // run does not wait for those in between: a thread of their own makes
  // them.
  static constexpr std::chrono::milliseconds kSyncInterval{100};

  std::string path_;  // empty until the first record
  Descriptor fd_;
  std::chrono::steady_clock::time_point lastSync_{};
  std::unique_ptr<BackgroundSync> syncer_;  // after fd_: ends before the journal closes
};

// Taking one run back. While this lives, it holds the run: no run that still
// goes can be taken back, and no other undo works on the same run. The
// run's records are read and checked once it is held; the journal of the
// undo's progress is kept as a run's is, but with every record synced.
class UndoJournal : public journal::UndoRecorder {
 public:
  UndoJournal(const RunStore& store, const std::string& id);

  // Why the run is not to be taken back now, a line a reason, for the user;
  // empty when it may be. A journal with any record that is not valid is
  // refused whole: records could have been changed anywhere in it.
  const std::vector<std::string>& refusal() const { return refusal_; }
  const journal::RunHistory& run() const { return run_; }

  void linkMadeBack(std::size_t index, const EntryStamp& newLink) override;
  void movedBack(std::size_t index) override;
  void undone() override;

 private:
  void append(const std::string& record);

  std::string path_;
  Descriptor journalFd_;  // the run's journal, held shared
  Descriptor fd_;         // the undo's journal, held alone
  journal::RunHistory run_;
  std::vector<std::string> refusal_;
};

}  // namespace kelvane::posix
