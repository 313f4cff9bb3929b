// kelvane: chooses the window or the no-window front end from the arguments.
#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/cli_main.h"
#include "cli/window_start.h"

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  Invocation invocation = parseArguments(arguments, displayAvailable());
  if (invocation.mode != Mode::Window) return runWithoutWindow(invocation);
  const int status = runWindowProgram(argv);
  if (status != kNoWindowCouldOpen) return status;
  if (invocation.paths.empty()) {
    std::cerr
        << "kelvane: no window could open on the display that DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM "
           "names; name the folders to sort them without a window\n";
    return 2;
  }
  std::cerr << "Kelvane: no window could open on the display; sorting without a window\n";
  invocation.mode = Mode::NoWindow;
  return runWithoutWindow(invocation);
}
