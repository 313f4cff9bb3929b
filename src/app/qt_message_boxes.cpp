#include "app/qt_message_boxes.h"

#include <QMessageBox>

#include "app/text_conversion.h"

namespace kelvane {

Answer QtMessageBoxes::show(const std::string& prompt, const std::string& title, Buttons buttons,
                            Icon /*icon*/) {
  const bool yesNo = buttons == Buttons::YesNo;
  QMessageBox box(QMessageBox::Critical, toQString(title), toQString(prompt),
                  yesNo ? QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No : QMessageBox::Ok,
                  owner_);
  if (yesNo) box.setDefaultButton(QMessageBox::Yes);
  const int pressed = box.exec();
  if (!yesNo) return Answer::Ok;
  switch (pressed) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::YesToAll: return Answer::YesToAll;
    default: return Answer::No;  // No, or the box closed
  }
}

}  // namespace kelvane
