// The command line: which mode runs (a sort with or without a window, --tags,
// --runs, --undo, --version, --help), how boxes are answered, and the paths.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "sort/sort_run.h"

namespace kelvane::cli {

enum class Mode { Window, NoWindow, Tags, Runs, Undo, Version, Help, UsageError };

struct Invocation {
  Mode mode = Mode::Window;
  Answer answer = Answer::Yes;             // how Yes/No boxes are answered without a window
  std::optional<OnCollision> onCollision;  // as given; the window otherwise keeps its own choice
  bool preview = false;                    // the sort without a window, changing nothing
  std::string runId;                       // the run --undo takes back; empty: the last one
  bool allMedia = false;                   // other photo and video formats too
  bool videoUtc = false;                   // a movie header's time gives its UTC date
  std::vector<std::string> paths;
  std::string error;  // why the arguments are a usage error
};

// hasDisplay: whether a window can be shown at all; without one, paths are
// sorted as with --no-window.
Invocation parseArguments(const std::vector<std::string>& arguments, bool hasDisplay);

bool displayAvailable();

extern const char* const kUsage;

}  // namespace kelvane::cli
