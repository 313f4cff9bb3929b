// Message boxes without a window: printed to a stream as "[title] prompt" and
// answered from the command line.
#pragma once

#include <ostream>

#include "platform/message_box.h"

namespace kelvane::cli {

class StreamMessageBoxes : public MessageBoxes {
 public:
  // After this many Yes/No boxes for one loaded file, the next is answered
  // Yes to All without being shown (the walk then shows no more), so that no
  // damaged file keeps a run busy. With --answer no the first box ends it.
  static constexpr int kYesNoBoxesPerFile = 1000;

  StreamMessageBoxes(std::ostream& out, Answer yesNoAnswer);

  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override;
  void fileLoadStarted() override { yesNoBoxes_ = 0; }

 private:
  std::ostream& out_;
  Answer yesNoAnswer_;
  int yesNoBoxes_ = 0;
};

}  // namespace kelvane::cli
