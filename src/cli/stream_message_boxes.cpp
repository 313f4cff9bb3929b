#include "cli/stream_message_boxes.h"

namespace kelvane::cli {

StreamMessageBoxes::StreamMessageBoxes(std::ostream& out, Answer yesNoAnswer)
    : out_(out), yesNoAnswer_(yesNoAnswer) {}

// Past the bound, a file's walk goes on as "Yes to All" takes it: unseen, to
// the table that Yes to every box gives, so that a damaged photo keeps the
// date it has.
Answer StreamMessageBoxes::show(const std::string& prompt, const std::string& title, Buttons buttons,
                                Icon /*icon*/) {
  if (buttons == Buttons::YesNo && yesNoBoxes_ == kYesNoBoxesPerFile) {
    out_ << "Kelvane: " << kYesNoBoxesPerFile
         << " boxes for one file; its further boxes are answered Yes to All, without being shown\n";
    return Answer::YesToAll;
  }
  out_ << '[' << title << "] " << prompt << '\n';
  out_.flush();
  if (buttons == Buttons::Ok) return Answer::Ok;
  ++yesNoBoxes_;
  return yesNoAnswer_;
}

}  // namespace kelvane::cli
