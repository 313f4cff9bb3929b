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
const GrammarRow kGrammar[] = {
    {"no arguments with a display open the window", {}, true, Mode::Window},
    {"no arguments without a display are a usage error", {}, false, Mode::UsageError},
    {"paths with a display go to the window", {"a.jpg", "b"}, true, Mode::Window, Answer::Yes, {"a.jpg", "b"}},
    {"paths without a display sort without a window", {"a.jpg", "b"}, false, Mode::NoWindow, Answer::Yes,
     {"a.jpg", "b"}},
    {"an argument is one path whole", {"my \"best\" photos"}, false, Mode::NoWindow, Answer::Yes,
     {"my \"best\" photos"}},
    {"an empty argument is a path", {""}, false, Mode::NoWindow, Answer::Yes, {""}},
    {"--no-window answers yes by default", {"--no-window", "d"}, true, Mode::NoWindow, Answer::Yes, {"d"}},
    {"--no-window --answer no", {"--no-window", "--answer", "no", "d"}, true, Mode::NoWindow, Answer::No, {"d"}},
    {"--answer=no is --answer no", {"--no-window", "--answer=no", "d"}, true, Mode::NoWindow, Answer::No, {"d"}},
    {"--answer may come first", {"--answer", "no", "--no-window", "d"}, false, Mode::NoWindow, Answer::No, {"d"}},
    {"--answer=yes with --tags", {"--answer=yes", "--tags", "f"}, true, Mode::Tags, Answer::Yes, {"f"}},
    {"--tags --answer no", {"--tags", "--answer", "no", "f"}, false, Mode::Tags, Answer::No, {"f"}},
    {"--tags with an empty FILE", {"--tags", ""}, false, Mode::Tags, Answer::Yes, {""}},
    {"-- lets a path begin with -", {"--tags", "--", "-x.jpg"}, false, Mode::Tags, Answer::Yes, {"-x.jpg"}},
    {"-- alone ends the options", {"--", "--tags"}, false, Mode::NoWindow, Answer::Yes, {"--tags"}},
    {"options after the first path are paths", {"--no-window", "d", "--answer", "no"}, false, Mode::NoWindow,
     Answer::Yes, {"d", "--answer", "no"}},
    {"--version", {"--version"}, false, Mode::Version},
    {"--help", {"--help"}, true, Mode::Help},
    {"--help wins over a mode", {"--tags", "--help", "f"}, false, Mode::Help},
    {"--version with an unknown option", {"--version", "--bogus"}, false, Mode::UsageError},
    {"--help with --answer maybe", {"--help", "--answer", "maybe"}, true, Mode::UsageError},
    {"unknown long option", {"--bogus", "d"}, false, Mode::UsageError},
    {"unknown short option", {"--tags", "-x.jpg"}, false, Mode::UsageError},
    {"--answer maybe", {"--tags", "--answer", "maybe", "f"}, false, Mode::UsageError},
    {"--answer=maybe", {"--answer=maybe", "--tags", "f"}, false, Mode::UsageError},
    {"--answer= with no value", {"--answer=", "--tags", "f"}, false, Mode::UsageError},
    {"--answer at the end", {"--tags", "--answer"}, false, Mode::UsageError},
    {"--answer without a mode", {"--answer", "no", "d"}, true, Mode::UsageError},
    {"--answer without a mode and display", {"--answer=yes", "d"}, false, Mode::UsageError},
    {"--tags without a FILE", {"--tags"}, false, Mode::UsageError},
    {"--tags with two FILEs", {"--tags", "f", "g"}, false, Mode::UsageError},
    {"--tags FILE then an option", {"--tags", "f", "--answer", "no"}, false, Mode::UsageError},
    {"--no-window without a PATH", {"--no-window"}, true, Mode::UsageError},
    {"--no-window --answer no without a PATH", {"--no-window", "--answer", "no"}, false, Mode::UsageError},
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
}

// Puts the three display variables as a row wants them and restores them after.
class DisplayVariables {
 public:
  DisplayVariables() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~DisplayVariables() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

 private:
  std::vector<std::optional<std::string>> saved_;
};

TEST(Arguments, AnyOfTheThreeVariablesMeansADisplay) {
  DisplayVariables variables;
  EXPECT_FALSE(displayAvailable());
  for (const char* name : DisplayVariables::kNames) {
    setenv(name, "x", 1);
    EXPECT_TRUE(displayAvailable()) << name;
    unsetenv(name);
  }
}

}  // namespace
}  // namespace kelvane::cli
