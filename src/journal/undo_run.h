// Taking a recorded run back: every file it moved goes back to its name,
// newest move first, never replacing anything, then the date folders it made
// are removed where they are empty. A file changed, gone or whose name is
// taken since is reported and left where it is. Every move back is recorded
// before the next, so that an undo cut short can be finished by running it
// again.
#pragma once

#include <cstddef>

#include "journal/run_history.h"
#include "platform/file_system.h"
#include "platform/log.h"

namespace kelvane::journal {

// Where taking a run back records its progress; failures stop it.
class UndoRecorder {
 public:
  virtual ~UndoRecorder() = default;

  // A link moved by the move with this index is about to be replaced by
  // `newLink`, with the text it had before the run.
  virtual void linkMadeBack(std::size_t index, const EntryStamp& newLink) = 0;
  // The move with this index is taken back, or the file was found in its
  // place already.
  virtual void movedBack(std::size_t index) = 0;
  // Every file is back.
  virtual void undone() = 0;
};

struct UndoOutcome {
  std::size_t back = 0;     // files in their place at the end
  std::size_t notBack = 0;  // files reported and left where they are
};

// Writes the undo's log lines; failures to record or to log are
// RuntimeFailures.
UndoOutcome takeBack(const RunHistory& run, SortedFolders& folders, UndoRecorder& recorder, Log& log);

}  // namespace kelvane::journal
