// kelvane: chooses the window or the no-window front end from the arguments.
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/cli_main.h"

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const Invocation invocation = parseArguments(arguments, displayAvailable());
  return runWithoutWindow(invocation);
}
