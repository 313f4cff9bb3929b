// The recorded runs of this user: one journal a run that moved something,
// and one more for taking it back, in the state folder
// ($XDG_STATE_HOME/kelvane/runs, by default ~/.local/state/kelvane/runs),
// never beside the photos.
#pragma once

#include <string>
#include <vector>

#include "journal/run_history.h"
#include "journal/undo_run.h"
#include "sort/move_journal.h"

namespace kelvane::posix {

class RunStore {
 public:
  // The folder from the environment; empty when neither XDG_STATE_HOME (an
  // absolute path) nor HOME says where it is.
  static std::string defaultFolder();

  explicit RunStore(std::string folder) : folder_(std::move(folder)) {}

  const std::string& folder() const { return folder_; }

  // Oldest first.
  std::vector<std::string> runIds() const;
  journal::RunHistory read(const std::string& id) const;
  std::string journalPath(const std::string& id) const;

 private:
  std::string folder_;
};

// The journal of one sort run: made at its first record, so that a run that
// changes nothing leaves none. Every record is written through and synced to
// the disk before the call returns.
class RunJournal : public MoveJournal {
 public:
  explicit RunJournal(const RunStore& store);
  ~RunJournal() override;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  void creatingFolder(const std::string& folder, const std::string& dateFolder) override;
  void moving(const std::string& folder, const std::string& name, const EntryStamp& stamp,
              const std::string& dateFolder, const std::string& target) override;

  // Empty until the first record.
  const std::string& id() const { return id_; }

 private:
  void append(const std::string& record);
  void create();
  std::string whole(const std::string& folder) const;

  const RunStore& store_;
  std::string workingFolder_;
  std::string id_;
  int fd_ = -1;
};

// The journal of taking one run back, kept the same way.
class UndoJournal : public journal::UndoRecorder {
 public:
  UndoJournal(const RunStore& store, const std::string& id);
  ~UndoJournal() override;
  UndoJournal(const UndoJournal&) = delete;
  UndoJournal& operator=(const UndoJournal&) = delete;

  void movedBack(std::size_t index) override;
  void undone() override;

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace kelvane::posix
