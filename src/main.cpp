// kelvane: chooses the window or the no-window front end from the arguments.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/arguments.h"
#include "cli/cli_main.h"

namespace {

// The window is a program of its own beside this one, so that the modes
// without a window never load the toolkit's libraries and start at once.
int startWindow(char** argv) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string window = (self.parent_path() / "kelvane-window").string();
  ::execv(window.c_str(), argv);
  std::cerr << "kelvane: cannot start the window " << window << ": " << std::strerror(errno) << '\n';
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const Invocation invocation = parseArguments(arguments, displayAvailable());
  if (invocation.mode == Mode::Window) return startWindow(argv);
  return runWithoutWindow(invocation);
}
