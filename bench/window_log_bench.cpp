// Times one run in the window, offscreen: the window is given FOLDER on its
// command line, as `kelvane FOLDER` would be, and the clock stops when the log
// ends with "Finished". Compare with `time kelvane --no-window FOLDER`. Also
// reports the longest wait of the window's event loop during the run (a
// 5 ms timer's largest gap: how long input could go unanswered) and the
// peak resident memory.
// Usage: kelvane_window_bench FOLDER
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
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
  QElapsedTimer sinceTick;
  sinceTick.start();
  qint64 longestGap = 0;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, sinceTick.restart());
    if (window.txtOutput()->document()->lastBlock().previous().text() == "Finished") {
      rusage usage{};
      ::getrusage(RUSAGE_SELF, &usage);
      // The run itself starts 100 ms after the window is shown.
      std::printf(
          "window run: %.3f s (of which 0.100 s the start-up timer), %d lines; longest event-loop wait %lld "
          "ms; "
          "peak RSS %.1f MB\n",
          static_cast<double>(clock.nsecsElapsed()) / 1e9, window.txtOutput()->blockCount(),
          static_cast<long long>(longestGap), static_cast<double>(usage.ru_maxrss) / 1024.0);
      QApplication::quit();
    }
  });
  poll.start(5);
  return QApplication::exec();
}
