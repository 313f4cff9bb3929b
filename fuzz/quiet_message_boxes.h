// Message boxes for the fuzz targets, shown nowhere: Yes to the first boxes
// of a loaded file, then "Yes to All", the way `--answer yes` ends a long
// series. A damaged file asks for a box at every failed step; printing them,
// even into a stream that drops its output, would cost more than the reading.
// Fewer boxes than the command line's 1,000 reach the same code; that
// "Yes to All" gives what Yes to every box gives is the unit tests' to show.
#pragma once

#include <string>

#include "platform/message_box.h"

namespace kelvane::fuzzing {

class QuietMessageBoxes : public MessageBoxes {
 public:
  static constexpr int kYesBeforeYesToAll = 20;

  Answer show(const std::string& /*prompt*/, const std::string& /*title*/, Buttons buttons,
              Icon /*icon*/) override {
    if (buttons == Buttons::Ok) return Answer::Ok;
    return ++yesNoBoxes_ > kYesBeforeYesToAll ? Answer::YesToAll : Answer::Yes;
  }
  void fileLoadStarted() override { yesNoBoxes_ = 0; }

 private:
  int yesNoBoxes_ = 0;
};

}  // namespace kelvane::fuzzing
