// The command-line grammar: modes, --answer, where options end and paths begin.
#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::cli {
namespace {

using Args = std::vector<std::string>;

struct GrammarRow {
  const char* name;
  Args arguments;
  bool hasDisplay;
  Mode mode;
  Answer answer = Answer::Yes;
  Args paths = {};
};

// clang-format off
// The contracts run the program for the forms a user meets most (--, --answer
// no, whole arguments, no arguments); the grammar's corners are here.
const GrammarRow kGrammar[] = {
    {"no arguments with a display open the window", {}, true, Mode::Window},
    {"paths with a display go to the window", {"a.jpg", "b"}, true, Mode::Window, Answer::Yes,
     {"a.jpg", "b"}},
    {"paths without a display sort without a window", {"a.jpg", ""}, false, Mode::NoWindow, Answer::Yes,
     {"a.jpg", ""}},
    {"--answer=no is --answer no", {"--no-window", "--answer=no", "d"}, true, Mode::NoWindow, Answer::No,
     {"d"}},
    {"--answer may come first", {"--answer", "no", "--no-window", "d"}, true, Mode::NoWindow, Answer::No,
     {"d"}},
    {"--tags with an empty FILE", {"--tags", ""}, false, Mode::Tags, Answer::Yes, {""}},
    {"-- alone ends the options", {"--", "--tags"}, false, Mode::NoWindow, Answer::Yes, {"--tags"}},
    {"options after the first path are paths", {"--no-window", "d", "--answer", "no"}, true, Mode::NoWindow,
     Answer::Yes, {"d", "--answer", "no"}},
    {"--help wins over a mode", {"--tags", "--help", "f"}, false, Mode::Help},
    {"--version with an unknown option", {"--version", "--bogus"}, false, Mode::UsageError},
    {"--help with --answer maybe", {"--help", "--answer", "maybe"}, true, Mode::UsageError},
    {"unknown long option", {"--bogus", "d"}, false, Mode::UsageError},
    {"unknown short option", {"--tags", "-x.jpg"}, false, Mode::UsageError},
    {"--answer maybe", {"--tags", "--answer", "maybe", "f"}, false, Mode::UsageError},
    {"--answer=maybe", {"--answer=maybe", "--tags", "f"}, false, Mode::UsageError},
    {"--answer= with no value", {"--answer=", "--tags", "f"}, false, Mode::UsageError},
    {"--answer at the end", {"--answer"}, true, Mode::UsageError},
    {"--answer without a mode", {"--answer", "no", "d"}, true, Mode::UsageError},
    {"--answer without a mode and display", {"--answer=yes", "d"}, false, Mode::UsageError},
    {"--tags without a FILE", {"--tags"}, false, Mode::UsageError},
    {"--tags with two FILEs", {"--tags", "f", "g"}, false, Mode::UsageError},
    {"--no-window without a PATH", {"--no-window"}, true, Mode::UsageError},
    {"--no-window --answer no without a PATH", {"--no-window", "--answer", "no"}, false, Mode::UsageError},
    {"--runs", {"--runs"}, true, Mode::Runs},
    {"--undo takes the last run", {"--undo"}, true, Mode::Undo},
    {"--undo RUN", {"--undo", "20261209-101503"}, false, Mode::Undo},
    {"--undo with two RUNs", {"--undo", "a", "b"}, false, Mode::UsageError},
    {"--undo with --no-window", {"--no-window", "--undo"}, false, Mode::UsageError},
    {"--runs with a path", {"--runs", "d"}, false, Mode::UsageError},
    {"--runs and --undo", {"--runs", "--undo"}, false, Mode::UsageError},
};
// clang-format on

TEST(Arguments, Grammar) {
  for (const GrammarRow& row : kGrammar) {
    SCOPED_TRACE(row.name);
    const Invocation invocation = parseArguments(row.arguments, row.hasDisplay);
    EXPECT_EQ(invocation.mode, row.mode);
    if (invocation.mode != row.mode) continue;
    if (row.mode == Mode::UsageError) {
      EXPECT_FALSE(invocation.error.empty());
      continue;
    }
    EXPECT_EQ(invocation.answer, row.answer);
    EXPECT_EQ(invocation.paths, row.paths);
  }
  EXPECT_EQ(parseArguments({"--undo", "20261209-101503"}, true).runId, "20261209-101503");
}

// Any of the three variables, set and not empty, means a display.
TEST(Arguments, DisplayVariables) {
  const char* const names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::vector<std::optional<std::string>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    unsetenv(name);
  }
  EXPECT_FALSE(displayAvailable());
  for (const char* name : names) {
    setenv(name, "", 1);
    EXPECT_FALSE(displayAvailable()) << name << " empty";
    setenv(name, "x", 1);
    EXPECT_TRUE(displayAvailable()) << name;
    unsetenv(name);
  }
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
  }
}

}  // namespace
}  // namespace kelvane::cli
