// frmMain: the one window. A log box that takes dropped files and folders,
// and the command line run once shortly after the window is shown. Runs work
// off the window's thread: the log fills as they go, a status line under it
// shows progress and offers Stop, and drops that come meanwhile wait their
// turn.
#pragma once

#include <QWidget>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/message_box.h"
#include "sort/sort_run.h"

class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kelvane {

class SortWorker;
class StatusLine;
struct BatchOutcome;

namespace posix {
class UndoJournal;
}

class frmMain : public QWidget {
  Q_OBJECT

 public:
  // commandLine: the program's arguments, each one path taken whole.
  frmMain(std::unique_ptr<FileSystem> fileSystem, MessageBoxes& boxes, std::vector<std::string> commandLine,
          QWidget* parent = nullptr);
  ~frmMain() override;

  // Set while a run is under way; the timer's tick will not start a run
  // while it is set. A run that a failure stopped leaves it set.
  bool bProcessing = false;

  // Appends to the very end of the log, whatever the user selected.
  void prt(const QString& sString);

  // Whether a run is under way or waiting for its turn.
  bool busy() const;

  // What a taken name does in later runs, for this session only.
  void setOnCollision(OnCollision onCollision) { onCollision_ = onCollision; }

  // Whether later runs sort every photo and video format, for this session.
  void setAllMedia(bool allMedia, bool videoUtc) {
    allMedia_ = allMedia;
    videoUtc_ = videoUtc;
  }

  // The run under way stops before its next file (Stop, Esc).
  void stopRun();

  QPlainTextEdit* txtOutput() const { return txtOutput_; }
  QTimer* tmr() const { return tmr_; }

  // The log box's context menu, for the caller to show and delete.
  QMenu* createLogMenu();
  QWidget* statusLine() const;
  QPushButton* stopButton() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void formLoad(std::vector<std::string> commandLine);
  void followTheEnd();
  void tmrTimer();
  void dragOver(QDragMoveEvent& event);
  void dropFiles(QDropEvent& event);
  void ProcessPaths(std::vector<std::deque<std::string>> runs, bool preview);
  static OnCollision savedOnCollision();
  void startNextBatch();
  void undoLastRun();
  std::unique_ptr<posix::UndoJournal> holdLastRun();
  void batchEnded(const BatchOutcome& outcome);
  void takeRunLog();
  void showProgress();

  QPlainTextEdit* txtOutput_;
  QTimer* tmr_;
  StatusLine* statusLine_;
  QTimer* progressTimer_;
  MessageBoxes& boxes_;
  std::unique_ptr<FileSystem> oFileSystem;
  std::deque<std::string> sCommandLine;
  std::unique_ptr<SortWorker> worker_;
  struct Batch {
    std::vector<std::deque<std::string>> runs;  // each one run, as each dropped path is
    bool preview = false;
  };
  std::deque<Batch> waiting_;  // batches of drops that came during a run
  bool previewNextDrop_ = false;
  bool previewing_ = false;  // the batch under way only previews
  OnCollision onCollision_ = OnCollision::Stop;
  bool allMedia_ = false;
  bool videoUtc_ = false;
  bool followingEnd_ = true;  // the log box shows its newest line
  bool stopping_ = false;
  bool closeWhenStopped_ = false;
};

}  // namespace kelvane
