// kelvane-window: the window, a program of its own that kelvane starts when
// there is a window to show. It takes the same arguments as kelvane.
#include <string>
#include <vector>

#include "app/window_main.h"
#include "cli/arguments.h"
#include "cli/cli_main.h"

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  Invocation invocation = parseArguments(arguments, /*hasDisplay=*/true);
  if (invocation.mode != Mode::Window) return runWithoutWindow(invocation);
  return kelvane::app::runWindow(std::move(invocation.paths),
                                 {invocation.onCollision, invocation.allMedia, invocation.videoUtc});
}
