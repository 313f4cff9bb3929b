// Runs the window's sort runs off its thread, so that the window repaints and
// takes input while they work. The log's lines are gathered for the window to
// take in batches, progress is kept for it to show, and a message box is
// shown on the window's thread while the run waits for the answer.
#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/message_box.h"
#include "sort/run_observer.h"
#include "sort/sort_run.h"

namespace kelvane {

namespace posix {
class UndoJournal;
}

// What begins every line of a preview in the window's log.
inline constexpr std::string_view kPreviewMark = "Preview: ";

// How a batch of runs ended.
struct BatchOutcome {
  bool wentThrough = false;   // every run of the batch handled its whole list
  bool bProcessing = false;   // the sort run's flag as the last run left it
  std::string failureReport;  // "Error # ...: path" when a failure stopped it
};

// Where a batch is, for the status line.
struct RunProgress {
  std::string folder;     // the folder being sorted, or the file item's
  std::string file;       // the file being read
  std::size_t done = 0;   // files of the folder handled before it
  std::size_t files = 0;  // files of the folder
  bool boxOpen = false;   // a box about `file` waits for an answer
};

class SortWorker : public QObject, private Log, private MessageBoxes, private RunObserver {
  Q_OBJECT

 public:
  // boxes: shown on the window's thread; beforeBox runs there first.
  SortWorker(FileSystem& fileSystem, MessageBoxes& boxes, std::function<void()> beforeBox,
             QObject* parent = nullptr);
  ~SortWorker() override;  // stops a batch under way, answers an open box No, and waits

  // Starts runs one after the other, each over its own path list. Only when
  // none is under way.
  void start(std::vector<std::deque<std::string>> runs, std::function<void(const BatchOutcome&)> finished);

  // Starts taking back the run `undo` reads; its lines come as a run's do.
  void startUndo(std::unique_ptr<posix::UndoJournal> undo, std::function<void(const BatchOutcome&)> finished);

  bool busy() const { return thread_.joinable(); }

  // What later batches do with a name taken in a date folder, and whether
  // they only preview: change nothing, and mark every line "Preview: ".
  void setOnCollision(OnCollision onCollision) { onCollision_ = onCollision; }
  void setMedia(bool allMedia, bool videoUtc) {
    allMedia_ = allMedia;
    videoUtc_ = videoUtc;
  }
  void setPreview(bool preview) { preview_ = preview; }

  // The run stops before its next file; the batch's later runs are not made.
  void requestStop() { stop_ = true; }

  // The lines logged since the last call.
  std::string takeLog();

  RunProgress progress() const;

 private:
  void launch(std::function<void(const BatchOutcome&)> finished, std::function<BatchOutcome()> job);
  BatchOutcome runBatch(std::vector<std::deque<std::string>> runs);
  BatchOutcome runUndo(posix::UndoJournal& undo);
  void batchEnded(const BatchOutcome& outcome);

  void append(std::string_view text) override;
  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override;
  void fileLoadStarted() override { boxes_.fileLoadStarted(); }
  void folderStarted(const std::string& folder, std::size_t files) override;
  void fileStarted(const std::string& name, std::size_t index) override;
  bool stopRequested() override { return stop_; }

  FileSystem& fileSystem_;
  MessageBoxes& boxes_;
  std::function<void()> beforeBox_;
  std::function<void(const BatchOutcome&)> finished_;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  // Read by the batch's thread, set only between batches.
  OnCollision onCollision_ = OnCollision::Stop;
  bool allMedia_ = false;
  bool videoUtc_ = false;
  bool preview_ = false;

  mutable std::mutex mutex_;  // guards what follows
  std::string log_;
  RunProgress progress_;
  std::optional<std::promise<Answer>> pendingBox_;
  bool abandoned_ = false;  // the window is going: no box is shown any more
};

}  // namespace kelvane
