// What a sort run tells while it works, and asks between two files: whether
// to stop. A front end that shows progress or offers Stop implements it.
#pragma once

#include <cstddef>
#include <string>

namespace kelvane {

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // A folder item's listing is taken: `files` names to handle.
  virtual void folderStarted(const std::string& folder, std::size_t files) = 0;

  // The file at `index` (from 0) of its folder's listing is about to be read.
  virtual void fileStarted(const std::string& name, std::size_t index) = 0;

  // Asked before each file; true ends the run there.
  virtual bool stopRequested() = 0;
};

}  // namespace kelvane
