// Real message boxes: modal, with the critical icon, Yes the default.
#pragma once

#include "platform/message_box.h"

class QWidget;

namespace kelvane {

class QtMessageBoxes : public MessageBoxes {
 public:
  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override;
};

}  // namespace kelvane
