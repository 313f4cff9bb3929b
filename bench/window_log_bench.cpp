// Times one run in the window, offscreen: the window is given FOLDER on its
// command line, as `kelvane FOLDER` would be, and the clock stops when the log
// ends with "Finished". Compare with `time kelvane --no-window FOLDER`.
// Usage: kelvane_window_bench FOLDER
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <cstdio>

#include "app/frm_main.h"
#include "app/qt_message_boxes.h"
#include "platform/posix/posix_file_system.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelvane_window_bench FOLDER\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  kelvane::QtMessageBoxes boxes;
  QElapsedTimer clock;
  clock.start();
  kelvane::frmMain window(std::make_unique<kelvane::posix::PosixFileSystem>(), boxes, {argv[1]});
  window.show();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (window.txtOutput()->document()->lastBlock().previous().text() == "Finished") {
      // The run itself starts 100 ms after the window is shown.
      std::printf("window run: %.3f s (of which 0.100 s the start-up timer), %d lines\n",
                  static_cast<double>(clock.nsecsElapsed()) / 1e9, window.txtOutput()->blockCount());
      QApplication::quit();
    }
  });
  poll.start(10);
  return QApplication::exec();
}
