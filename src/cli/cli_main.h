// The program's entry point for every mode that needs no window.
#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"

namespace kelvane::cli {

// Runs a parsed invocation that needs no window and returns the exit status.
int runWithoutWindow(const Invocation& invocation);

}  // namespace kelvane::cli
