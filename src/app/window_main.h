// Starts the window front end.
#pragma once

#include <string>
#include <vector>

namespace kelvane::app {

// Shows the window, sorting the paths once it is up; returns when it closes.
int runWindow(std::vector<std::string> paths);

}  // namespace kelvane::app
