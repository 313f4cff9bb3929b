#include "cli/cli_main.h"

#include <iostream>

#include "cli/stream_message_boxes.h"
#include "cli/tags_command.h"
#include "platform/posix/posix_file_system.h"
#include "platform/version.h"

namespace kelvane::cli {

int runWithoutWindow(const Invocation& invocation) {
  switch (invocation.mode) {
    case Mode::Help:
      std::cout << kUsage;
      return 0;
    case Mode::Version:
      std::cout << "Kelvane " << version::kMajor << '.' << version::kMinor << '.' << version::kRevision << '\n';
      return 0;
    case Mode::Tags: {
      posix::PosixFileSystem fileSystem;
      StreamMessageBoxes boxes(std::cerr, invocation.answer);
      return listTags(invocation.paths.front(), fileSystem, boxes, std::cout);
    }
    case Mode::UsageError:
      std::cerr << "kelvane: " << invocation.error << "\n\n" << kUsage;
      return 2;
    case Mode::NoWindow:
    case Mode::Window:
      break;
  }
  std::cerr << "kelvane: sorting is not available in this build yet\n\n" << kUsage;
  return 2;
}

}  // namespace kelvane::cli
