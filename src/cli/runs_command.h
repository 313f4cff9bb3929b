// kelvane --runs and kelvane --undo [RUN]: the recorded runs, and taking one
// back.
#pragma once

#include <ostream>
#include <string>

#include "platform/file_system.h"
#include "platform/log.h"
#include "posix/run_store.h"

namespace kelvane::cli {

// One run a line, oldest first, under a heading: id, start time, files
// moved, whether still running or taken back, folders. Exit status 0, or 1 when the journals
// cannot be read (said on `errors`).
int listRuns(const posix::RunStore& store, std::ostream& out, std::ostream& errors);

// Takes back the run `id` (empty: the last one), logging as a sort run does:
// the banner, a line a step, "Finished" when every file went back. Returns 0
// then, and 1 when a file stayed, there is no such run, the run is refused
// (why, on `errors`, before anything is done), or the undo stopped on a
// failure (written to `errors`, and to the log where it still takes it).
int undoRun(const posix::RunStore& store, const std::string& id, SortedFolders& folders, Log& log,
            std::ostream& errors);

}  // namespace kelvane::cli
