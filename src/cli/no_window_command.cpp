#include "cli/no_window_command.h"

#include <deque>

#include "platform/log.h"
#include "platform/runtime_failure.h"
#include "sort/log_lines.h"
#include "sort/sort_run.h"

namespace kelvane::cli {
namespace {

class StreamLog : public Log {
 public:
  explicit StreamLog(std::ostream& out) : out_(out) {}
  void append(std::string_view text) override { out_ << text; }

 private:
  std::ostream& out_;
};

}  // namespace

int sortWithoutWindow(const std::vector<std::string>& paths, FileSystem& fileSystem, MessageBoxes& boxes,
                      std::ostream& out, std::ostream& errors) {
  StreamLog log(out);
  log.append(log_lines::banner());
  bool bProcessing = false;
  SortRun run(fileSystem, boxes, log, bProcessing);
  std::deque<std::string> items(paths.begin(), paths.end());
  try {
    if (run.processWholePaths(items)) log.append(log_lines::finished());
    return 0;
  } catch (const RuntimeFailure& failure) {
    out.flush();  // the log's last line before the failure that ended it
    errors << "[Kelvane] " << failure.errorText() << '\n';
    return 1;
  }
}

}  // namespace kelvane::cli
