#include "cli/window_start.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

namespace kelvane::cli {
namespace {

volatile sig_atomic_t windowProcess = 0;

void passOn(int signal) { ::kill(static_cast<pid_t>(windowProcess), signal); }

constexpr int kPassedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

// The window is a program of its own beside this one, so that the modes
// without a window never load the toolkit's libraries and start at once.
int runWindowProgram(char** argv) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string window = (self.parent_path() / "kelvane-window").string();
  const pid_t child = ::fork();
  if (child < 0) {
    std::cerr << "kelvane: cannot start the window " << window << ": " << std::strerror(errno) << '\n';
    return 2;
  }
  if (child == 0) {
    ::execv(window.c_str(), argv);
    std::cerr << "kelvane: cannot start the window " << window << ": " << std::strerror(errno) << '\n';
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
