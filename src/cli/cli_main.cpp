#include "cli/cli_main.h"

#include <cassert>
#include <iostream>

#include "cli/no_window_command.h"
#include "cli/stream_message_boxes.h"
#include "cli/tags_command.h"
#include "platform/posix/posix_file_system.h"
#include "platform/version.h"

namespace kelvane::cli {

int runWithoutWindow(const Invocation& invocation) {
  switch (invocation.mode) {
    case Mode::Help: std::cout << kUsage; return 0;
    case Mode::Version:
      std::cout << "Kelvane " << version::kMajor << '.' << version::kMinor << '.' << version::kRevision
                << '\n';
      return 0;
    case Mode::Tags: {
      posix::PosixFileSystem fileSystem;
      StreamMessageBoxes boxes(std::cerr, invocation.answer);
      return listTags(invocation.paths.front(), fileSystem, boxes, std::cout);
    }
    case Mode::NoWindow: {
      posix::PosixFileSystem fileSystem;
      StreamMessageBoxes boxes(std::cerr, invocation.answer);
      return sortWithoutWindow(invocation.paths, fileSystem, boxes, std::cout, std::cerr);
    }
    case Mode::UsageError: std::cerr << "kelvane: " << invocation.error << "\n\n" << kUsage; return 2;
    case Mode::Window: break;
  }
  std::cerr << "kelvane: this build has no window\n\n" << kUsage;
  return 2;
}

}  // namespace kelvane::cli
