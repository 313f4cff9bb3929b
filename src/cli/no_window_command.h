// kelvane --no-window: the sort run with the log on standard output.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/message_box.h"

namespace kelvane::cli {

// Sorts the paths as one batch: the banner, the run's lines and "Finished".
// Returns the exit status: 0 when the run went through, 1 when it stopped on
// a failure, which is then written to `errors`.
int sortWithoutWindow(const std::vector<std::string>& paths, FileSystem& fileSystem, MessageBoxes& boxes,
                      std::ostream& out, std::ostream& errors);

}  // namespace kelvane::cli
