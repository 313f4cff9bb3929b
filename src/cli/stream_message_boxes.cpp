#include "cli/stream_message_boxes.h"

namespace kelvane::cli {

StreamMessageBoxes::StreamMessageBoxes(std::ostream& out, Answer yesNoAnswer)
    : out_(out), yesNoAnswer_(yesNoAnswer) {}

Answer StreamMessageBoxes::show(const std::string& prompt, const std::string& title, Buttons buttons,
                                Icon /*icon*/) {
  out_ << '[' << title << "] " << prompt << '\n';
  out_.flush();
  if (buttons == Buttons::Ok) return Answer::Ok;
  return ++yesNoBoxes_ > kYesNoBoxesPerFile ? Answer::No : yesNoAnswer_;
}

}  // namespace kelvane::cli
