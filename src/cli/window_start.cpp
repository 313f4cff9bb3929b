#include "cli/window_start.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "platform/install_layout.h"

namespace kelvane::cli {
namespace {

volatile sig_atomic_t windowProcess = 0;

void passOn(int signal) { ::kill(static_cast<pid_t>(windowProcess), signal); }

constexpr int kPassedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

// The window is a program of its own, so that the modes without a window
// never load the toolkit's libraries and start at once. A build folder has it
// beside kelvane; an installed kelvane keeps it as a private helper under
// libexec, found relative to its own folder so that any prefix works.
int runWindowProgram(char** argv) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path folder = self.parent_path();
  const std::array<std::string, 2> windows = {
      (folder / "kelvane-window").string(),
      (folder / install_layout::kWindowProgramFromBinDir).lexically_normal().string()};
  const pid_t child = ::fork();
  if (child < 0) {
    std::cerr << "kelvane: cannot start the window " << windows.front() << ": " << std::strerror(errno)
              << '\n';
    return 2;
  }
  if (child == 0) {
    // Only a missing program moves on to the next place; one that is there
    // but cannot run is reported, not passed over for another copy.
    std::string tried;
    int failure = ENOENT;
    for (const std::string& window : windows) {
      ::execv(window.c_str(), argv);
      failure = errno;
      if (failure != ENOENT) {
        tried = window;
        break;
      }
      tried += (tried.empty() ? "" : " or ") + window;
    }
    std::cerr << "kelvane: cannot start the window " << tried << ": " << std::strerror(failure) << '\n';
    ::_exit(2);
  }
  windowProcess = child;
  for (const int signal : kPassedOn) std::signal(signal, passOn);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  for (const int signal : kPassedOn) std::signal(signal, SIG_DFL);
  if (WIFSIGNALED(status)) {
    std::raise(WTERMSIG(status));  // ends as the window did
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

}  // namespace kelvane::cli
