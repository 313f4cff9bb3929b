// Runs a program as a child process without a shell and without a display,
// capturing its standard output, standard error and how it ended.
#pragma once

#include <sys/types.h>

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

// A started child: args[0] is the program's path, the rest its arguments.
// The child gets /dev/null as standard input and the parent's environment
// without DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM. The destructor kills
// and reaps a child that was not waited for.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& args, const std::string& workingFolder = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Collects both outputs until the child ends; a child still running after
  // `limit` is killed with SIGKILL.
  ProcessResult wait(std::chrono::milliseconds limit = std::chrono::seconds(60));

  // Collects both outputs for `delay`, then kills the child with SIGKILL
  // (unless it has already ended) and collects the rest.
  ProcessResult killAfter(std::chrono::microseconds delay);

 private:
  ProcessResult collect(std::chrono::steady_clock::time_point killAt);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::chrono::steady_clock::time_point started_;
};

// A fresh folder below $TMPDIR (or /tmp) for one test's files, removed with
// everything in it when the object goes.
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

// Runs the program to its end (at most `limit`, then SIGKILL).
ProcessResult runProgram(const std::vector<std::string>& args, const std::string& workingFolder = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace kelvane::testing
