// kelvane: chooses the window or the no-window front end from the arguments.
#include <string>
#include <vector>

#include "app/window_main.h"
#include "cli/arguments.h"
#include "cli/cli_main.h"

// No QApplication exists unless the window is shown, so the no-window modes
// start as fast as a plain program.
int main(int argc, char** argv) {
  using namespace kelvane::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  Invocation invocation = parseArguments(arguments, displayAvailable());
  if (invocation.mode == Mode::Window)
    return kelvane::app::runWindow(argc, argv, std::move(invocation.paths));
  return runWithoutWindow(invocation);
}
