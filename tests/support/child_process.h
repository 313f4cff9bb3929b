// Runs the program as a child process without a shell and without a display,
// capturing its outputs and how it ended; and the few file helpers such runs
// need around them.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
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

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it when
// the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Every path below `top`, relative to it: "/" for a folder, else the file's bytes.
std::map<std::string, std::string> folderFiles(const std::string& top);

// KELVANE_SEED when set, else a fixed seed, so that runs repeat.
std::uint32_t propertySeed();

}  // namespace kelvane::testing
