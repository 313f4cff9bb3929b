// kelvane --no-window: the sort run with the log on standard output.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/message_box.h"
#include "platform/runtime_failure.h"
#include "sort/sort_run.h"

namespace kelvane::cli {

// Sorts the paths as one batch: the banner, the run's lines and "Finished".
// Returns the exit status: 0 when the run went through, 1 when it stopped on
// a failure (the log itself failing too), which is then written to `errors`
// and, where the log still takes it, as the log's last line.
int sortWithoutWindow(const std::vector<std::string>& paths, FileSystem& fileSystem, MessageBoxes& boxes,
                      Log& log, std::ostream& errors, const RunOptions& options = {});

// A run (or an undo) stopped by a failure: says so on `errors` and, where
// the log still takes it, as the log's last line. Returns the exit status, 1.
int reportStopped(const RuntimeFailure& failure, Log& log, std::ostream& errors);

}  // namespace kelvane::cli
