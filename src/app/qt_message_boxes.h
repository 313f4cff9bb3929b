// Real message boxes: modal, with the critical icon, Yes the default.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"

namespace kelvane {

class QtMessageBoxes : public MessageBoxes {
 public:
  // Boxes open over `window`, every one of them: the active window, which
  // a box could take instead, is none for a moment after a box closes.
  void setOwner(QWidget* window) { owner_ = window; }

  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace kelvane
