#include "cli/cli_main.h"

#include <unistd.h>

#include <cassert>
#include <csignal>
#include <iostream>

#include "cli/no_window_command.h"
#include "cli/runs_command.h"
#include "cli/stream_message_boxes.h"
#include "cli/tags_command.h"
#include "platform/posix/descriptor_log.h"
#include "platform/posix/posix_file_system.h"
#include "platform/version.h"
#include "posix/run_store.h"
#include "sort/preview_file_system.h"

namespace kelvane::cli {

namespace {

int runMode(const Invocation& invocation) {
  switch (invocation.mode) {
    case Mode::Help: std::cout << kUsage; return 0;
    case Mode::Version: std::cout << "Kelvane " << version::kShown << '\n'; return 0;
    case Mode::Tags: {
      posix::PosixFileSystem fileSystem;
      StreamMessageBoxes boxes(std::cerr, invocation.answer);
      return listTags(invocation.paths.front(), fileSystem, boxes, std::cout);
    }
    case Mode::NoWindow: {
      posix::PosixFileSystem disk;
      PreviewFileSystem preview(disk);
      FileSystem& fileSystem = invocation.preview ? static_cast<FileSystem&>(preview) : disk;
      StreamMessageBoxes boxes(std::cerr, invocation.answer);
      posix::DescriptorLog log(STDOUT_FILENO, "standard output");
      const posix::RunStore store(posix::RunStore::defaultFolder());
      posix::RunJournal journal(store, posix::RunJournal::warnOnStandardError);
      return sortWithoutWindow(invocation.paths, fileSystem, boxes, log, std::cerr,
                               {.onCollision = invocation.onCollision.value_or(OnCollision::Stop),
                                .journal = invocation.preview ? nullptr : &journal,
                                .allMedia = invocation.allMedia,
                                .videoUtc = invocation.videoUtc});
    }
    case Mode::Runs: return listRuns(posix::RunStore(posix::RunStore::defaultFolder()), std::cout, std::cerr);
    case Mode::Undo: {
      posix::PosixFileSystem disk;
      posix::DescriptorLog log(STDOUT_FILENO, "standard output");
      return undoRun(posix::RunStore(posix::RunStore::defaultFolder()), invocation.runId, disk, log,
                     std::cerr);
    }
    case Mode::UsageError: std::cerr << "kelvane: " << invocation.error << "\n\n" << kUsage; return 2;
    case Mode::Window: break;
  }
  assert(false && "main starts the window itself");
  return 2;
}

}  // namespace

// Output that could not be written is a failure, not a success.
int runWithoutWindow(const Invocation& invocation) {
  // A closed standard output must fail the write that meets it, with EPIPE,
  // rather than end the program between two steps without a word.
  std::signal(SIGPIPE, SIG_IGN);
  const int status = runMode(invocation);
  if (!std::cout.flush()) {
    std::cerr << "kelvane: could not write to standard output\n";
    return status == 0 ? 1 : status;
  }
  return status;
}

}  // namespace kelvane::cli
