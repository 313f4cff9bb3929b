#include "app/window_main.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <utility>

#include "app/frm_main.h"
#include "app/qt_message_boxes.h"
#include "cli/window_start.h"
#include "platform/posix/posix_file_system.h"
#include "platform/version.h"

namespace kelvane::app {
namespace {

QStringList heldMessages;

// Until the application object stands, Qt's messages are held back. A fatal
// one then means that no window can open on the display, and Qt would abort:
// the program ends instead, quietly, with the status on which kelvane sorts
// without a window.
void holdStartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) std::_Exit(cli::kNoWindowCouldOpen);
  heldMessages.append(qFormatLogMessage(type, context, text));
}

}  // namespace

// Qt is given no arguments of the user's: every argument is a path, even one
// that looks like one of Qt's own options.
int runWindow(std::vector<std::string> paths, const SessionChoices& choices) {
  int argc = 1;
  char name[] = "kelvane";
  char* argv[] = {name, nullptr};
  const QtMessageHandler defaultHandler = qInstallMessageHandler(holdStartUpMessages);
  QApplication application(argc, argv);
  qInstallMessageHandler(defaultHandler);
  for (const QString& message : std::exchange(heldMessages, {})) std::cerr << message.toStdString() << '\n';
  QApplication::setApplicationName(QStringLiteral("Kelvane"));
  QApplication::setApplicationVersion(QString::fromLatin1(version::kFull));
  QGuiApplication::setDesktopFileName(QStringLiteral("kelvane"));
  QIcon icon;
  for (int size : {16, 32, 48})
    icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
  QtMessageBoxes boxes;
  frmMain window(std::make_unique<posix::PosixFileSystem>(), boxes, std::move(paths));
  boxes.setOwner(&window);
  if (choices.onCollision) window.setOnCollision(*choices.onCollision);
  if (choices.allMedia) window.setAllMedia(true, choices.videoUtc);
  window.show();
  return QApplication::exec();
}

}  // namespace kelvane::app
