// Runs the program as a child process without a shell and without a display,
// capturing its outputs and how it ended.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kelvane::testing {

struct ProcessResult {
  std::string out;
  std::string err;
  int exitStatus = -1;     // the exit status when the program ended by itself, else -1
  int killedBySignal = 0;  // the signal that ended the program, else 0
  double seconds = 0;      // from start to end
};

// args[0] is the program's path. The child gets /dev/null as standard input
// and the environment without DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM;
// one still running after `limit` is killed with SIGKILL.
ProcessResult runProgram(const std::vector<std::string>& args, const std::string& workingFolder = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace kelvane::testing
