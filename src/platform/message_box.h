// The message boxes the core may show. The window shows real ones, the
// no-window front end prints them and answers from the command line, tests
// answer from a script.
#pragma once

#include <string>

namespace kelvane {

enum class Buttons { Ok, YesNo };  // Yes is the default button of a Yes/No box
enum class Icon { Critical };
enum class Answer { Ok, Yes, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  virtual Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) = 0;

  // A reader starts loading another file. Answerers that bound the boxes of
  // one file start counting afresh.
  virtual void fileLoadStarted() {}
};

}  // namespace kelvane
