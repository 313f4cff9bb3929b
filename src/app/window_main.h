// Starts the window front end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sort/sort_run.h"

namespace kelvane::app {

// Shows the window, sorting the paths once it is up; returns when it closes.
// onCollision, when given, is this session's choice for taken names.
int runWindow(std::vector<std::string> paths, std::optional<OnCollision> onCollision);

}  // namespace kelvane::app
