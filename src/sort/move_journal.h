// Where a sort run records what it is about to change, so that the run can be
// taken back: each record is written before the change it announces is made,
// so that a run killed at any moment leaves a record of every change it made.
// A record that cannot be written is a RuntimeFailure, and the change is not
// made; a journal that cannot be made at all may let the run go on unrecorded
// instead, as it would without journals.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace kelvane {

class MoveJournal {
 public:
  virtual ~MoveJournal() = default;

  // The run holds `folder` open as `identity`; recorded with the first
  // change in it, so that taking the run back finds that very folder.
  virtual void sortingFolder(const std::string& folder, const EntryIdentity& identity) = 0;

  // The date folder `dateFolder` is about to be made in `folder`.
  virtual void creatingFolder(const std::string& folder, const std::string& dateFolder) = 0;

  // It is made, as `identity`: taking the run back removes only that folder.
  virtual void createdFolder(const std::string& folder, const std::string& dateFolder,
                             const EntryIdentity& identity) = 0;

  // The file `name` of `folder`, as `step` shows it, is about to move into
  // `dateFolder` as `target`.
  virtual void moving(const std::string& folder, const std::string& name, const MoveStep& step,
                      const std::string& dateFolder, const std::string& target) = 0;
};

}  // namespace kelvane
