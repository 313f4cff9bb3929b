// frmMain: the one window. A log box that takes dropped files and folders,
// and the command line run once shortly after the window is shown.
#pragma once

#include <QWidget>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/message_box.h"

class QPlainTextEdit;
class QTimer;
class QMimeData;

namespace kelvane {

class frmMain : public QWidget, private Log {
  Q_OBJECT

 public:
  // commandLine: the program's arguments, each one path taken whole.
  frmMain(std::unique_ptr<FileSystem> fileSystem, MessageBoxes& boxes, std::vector<std::string> commandLine,
          QWidget* parent = nullptr);
  ~frmMain() override;

  // Set by the sort run while it works; the timer's tick will not start a
  // run while it is set.
  bool bProcessing = false;

  // Appends to the very end of the log, whatever the user typed or selected.
  void prt(const QString& sString);

  QPlainTextEdit* txtOutput() const { return txtOutput_; }
  QTimer* tmr() const { return tmr_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void formLoad(std::vector<std::string> commandLine);
  void tmrTimer();
  void dragOver(QDragMoveEvent& event);
  void dropFiles(QDropEvent& event);
  bool ProcessPaths(std::deque<std::string>& paths);
  void append(std::string_view text) override;
  void flushRunLog();

  class RunBoxes;

  QPlainTextEdit* txtOutput_;
  QTimer* tmr_;
  MessageBoxes& boxes_;
  std::unique_ptr<FileSystem> oFileSystem;
  std::deque<std::string> sCommandLine;
  std::string runLog_;  // lines of the current run not yet in the log box
};

}  // namespace kelvane
