#include "app/window_main.h"

#include <QApplication>
#include <QIcon>

#include "app/frm_main.h"
#include "app/qt_message_boxes.h"
#include "platform/posix/posix_file_system.h"
#include "platform/version.h"

namespace kelvane::app {

// Qt is given no arguments of the user's: every argument is a path, even one
// that looks like one of Qt's own options.
int runWindow(std::vector<std::string> paths) {
  int argc = 1;
  char name[] = "kelvane";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kelvane"));
  QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3.%4")
                                          .arg(version::kMajor)
                                          .arg(version::kMinor)
                                          .arg(version::kPatch)
                                          .arg(version::kRevision));
  QGuiApplication::setDesktopFileName(QStringLiteral("kelvane"));
  QIcon icon;
  for (int size : {16, 32, 48})
    icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
  QtMessageBoxes boxes;
  frmMain window(std::make_unique<posix::PosixFileSystem>(), boxes, std::move(paths));
  window.show();
  return QApplication::exec();
}

}  // namespace kelvane::app
