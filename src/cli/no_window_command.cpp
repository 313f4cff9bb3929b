#include "cli/no_window_command.h"

#include <deque>

#include "platform/runtime_failure.h"
#include "sort/log_lines.h"
#include "sort/sort_run.h"

namespace kelvane::cli {

int sortWithoutWindow(const std::vector<std::string>& paths, FileSystem& fileSystem, MessageBoxes& boxes,
                      Log& log, std::ostream& errors, const RunOptions& options) {
  bool bProcessing = false;
  SortRun run(fileSystem, boxes, log, bProcessing, options);
  std::deque<std::string> items(paths.begin(), paths.end());
  try {
    log.append(log_lines::banner());
    if (run.processWholePaths(items)) log.append(log_lines::finished());
    return 0;
  } catch (const RuntimeFailure& failure) {
    return reportStopped(failure, log, errors);
  }
}

int reportStopped(const RuntimeFailure& failure, Log& log, std::ostream& errors) {
  errors << "[Kelvane] " << failure.report() << '\n';
  try {
    log.append(log_lines::stopped(failure.report()));
  } catch (const RuntimeFailure&) {
    // The log cannot be written: standard error has said why.
  }
  return 1;
}

}  // namespace kelvane::cli
