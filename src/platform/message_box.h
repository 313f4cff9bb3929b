// The message boxes the core may show. The window shows real ones, the
// no-window front end prints them and answers from the command line, tests
// answer from a script.
#pragma once

#include <string>

namespace kelvane {

// A Yes/No box also offers "Yes to All": Yes to it and, without showing
// them, to every further box of the same directory walk. Yes is the default.
enum class Buttons { Ok, YesNo };
enum class Icon { Critical };
enum class Answer { Ok, Yes, YesToAll, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  virtual Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) = 0;

  // A reader starts loading another file. Answerers that bound the boxes of
  // one file start counting afresh.
  virtual void fileLoadStarted() {}
};

}  // namespace kelvane
