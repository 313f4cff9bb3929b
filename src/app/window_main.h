// Starts the window front end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sort/sort_run.h"

namespace kelvane::app {

// What the command line chose for this session, over the window's settings.
struct SessionChoices {
  std::optional<OnCollision> onCollision;  // for taken names
  bool allMedia = false;                   // every photo and video format, not only JPEG
  bool videoUtc = false;                   // a movie header's time gives its UTC date
};

// Shows the window, sorting the paths once it is up; returns when it closes.
int runWindow(std::vector<std::string> paths, const SessionChoices& choices);

}  // namespace kelvane::app
