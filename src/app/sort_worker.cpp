#include "app/sort_worker.h"

#include <utility>

#include "journal/undo_run.h"
#include "platform/posix/posix_file_system.h"
#include "platform/runtime_failure.h"
#include "posix/run_store.h"
#include "sort/log_lines.h"
#include "sort/preview_file_system.h"
#include "sort/sort_run.h"

namespace kelvane {

SortWorker::SortWorker(FileSystem& fileSystem, MessageBoxes& boxes, std::function<void()> beforeBox,
                       QObject* parent)
    : QObject(parent), fileSystem_(fileSystem), boxes_(boxes), beforeBox_(std::move(beforeBox)) {}

// A box still waiting for the window is answered No, which ends that file's
// walk; the run then stops before its next file and shows no further box.
SortWorker::~SortWorker() {
  stop_ = true;
  {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    if (pendingBox_) pendingBox_->set_value(Answer::No);
    pendingBox_.reset();
  }
  if (thread_.joinable()) thread_.join();
}

void SortWorker::start(std::vector<std::deque<std::string>> runs,
                       std::function<void(const BatchOutcome&)> finished) {
  launch(std::move(finished), [this, runs = std::move(runs)]() mutable { return runBatch(std::move(runs)); });
}

void SortWorker::startUndo(std::unique_ptr<posix::UndoJournal> undo,
                           std::function<void(const BatchOutcome&)> finished) {
  launch(std::move(finished),
         [this, undo = std::shared_ptr<posix::UndoJournal>(std::move(undo))] { return runUndo(*undo); });
}

void SortWorker::launch(std::function<void(const BatchOutcome&)> finished,
                        std::function<BatchOutcome()> job) {
  stop_ = false;
  finished_ = std::move(finished);
  progress_ = {};
  thread_ = std::thread([this, job = std::move(job)] {
    const BatchOutcome outcome = job();
    QMetaObject::invokeMethod(
        this, [this, outcome] { batchEnded(outcome); }, Qt::QueuedConnection);
  });
}

// Each run is one of its own, as each dropped path is; a stop or a failure
// ends the batch. One journal records the whole batch, as one drop.
BatchOutcome SortWorker::runBatch(std::vector<std::deque<std::string>> runs) {
  BatchOutcome outcome{true, false, {}};
  PreviewFileSystem preview(fileSystem_);
  FileSystem& files = preview_ ? static_cast<FileSystem&>(preview) : fileSystem_;
  const posix::RunStore store(posix::RunStore::defaultFolder());
  posix::RunJournal journal(store, posix::RunJournal::warnOnStandardError);
  const RunOptions options{onCollision_, this, preview_ ? nullptr : &journal, allMedia_, videoUtc_};
  try {
    for (std::deque<std::string>& paths : runs) {
      if (stop_ && !paths.empty()) {
        append(log_lines::stoppedByUser(paths.front()));
        outcome.wentThrough = false;
        break;
      }
      if (!SortRun(files, *this, *this, outcome.bProcessing, options).processWholePaths(paths)) {
        outcome.wentThrough = false;
        break;
      }
    }
  } catch (const RuntimeFailure& failure) {
    outcome.wentThrough = false;
    outcome.failureReport = failure.report();
  }
  return outcome;
}

// Its log ends with its own last line: "Finished", or what stayed.
BatchOutcome SortWorker::runUndo(posix::UndoJournal& undo) {
  BatchOutcome outcome{false, false, {}};
  try {
    posix::PosixFileSystem disk;
    journal::takeBack(undo.run(), disk, undo, *this);
  } catch (const RuntimeFailure& failure) {
    outcome.failureReport = failure.report();
  }
  return outcome;
}

void SortWorker::batchEnded(const BatchOutcome& outcome) {
  thread_.join();
  std::exchange(finished_, {})(outcome);
}

std::string SortWorker::takeLog() {
  const std::lock_guard lock(mutex_);
  return std::exchange(log_, {});
}

RunProgress SortWorker::progress() const {
  const std::lock_guard lock(mutex_);
  return progress_;
}

// Each piece is one whole line.
void SortWorker::append(std::string_view text) {
  const std::lock_guard lock(mutex_);
  if (preview_) log_.append(kPreviewMark);
  log_.append(text);
}

// The run waits here, on its own thread, while the window shows the box.
Answer SortWorker::show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) {
  std::future<Answer> answer;
  {
    const std::lock_guard lock(mutex_);
    if (abandoned_) return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    pendingBox_.emplace();
    answer = pendingBox_->get_future();
    progress_.boxOpen = true;
  }
  QMetaObject::invokeMethod(
      this,
      [this, prompt, title, buttons, icon] {
        beforeBox_();
        const Answer given = boxes_.show(prompt, title, buttons, icon);
        const std::lock_guard lock(mutex_);
        if (pendingBox_) pendingBox_->set_value(given);
        pendingBox_.reset();
      },
      Qt::QueuedConnection);
  const Answer given = answer.get();
  const std::lock_guard lock(mutex_);
  progress_.boxOpen = false;
  return given;
}

void SortWorker::folderStarted(const std::string& folder, std::size_t files) {
  const std::lock_guard lock(mutex_);
  progress_ = {folder, {}, 0, files, false};
}

void SortWorker::fileStarted(const std::string& name, std::size_t index) {
  const std::lock_guard lock(mutex_);
  progress_.file = name;
  progress_.done = index;
}

}  // namespace kelvane
