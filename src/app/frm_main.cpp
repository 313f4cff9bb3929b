#include "app/frm_main.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <utility>

#include "app/sort_worker.h"
#include "app/status_line.h"
#include "app/text_conversion.h"
#include "journal/run_history.h"
#include "platform/runtime_failure.h"
#include "posix/run_store.h"
#include "sort/log_lines.h"

namespace kelvane {
namespace {

constexpr int kClientWidth = 408;  // 6120 × 3765 twips at 15 twips a pixel
constexpr int kClientHeight = 251;
constexpr int kMargin = 1;  // 10 twips, rounded to a whole pixel
constexpr int kTimerInterval = 100;
constexpr int kProgressInterval = 50;  // the log and the status line catch up 20 times a second
const QString kTitle = QStringLiteral("Kelvane");
const QString kSettingsOwner = QStringLiteral("Kelvane");
const QString kSettingsName = QStringLiteral("Kelvane");
const QString kOnCollisionKey = QStringLiteral("sort/onCollision");
const QString kAllMediaKey = QStringLiteral("sort/allMedia");

// A file list: local files and folders only. An empty list counts as one.
bool isFileList(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  const QList<QUrl> urls = data->urls();
  return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

frmMain::frmMain(std::unique_ptr<FileSystem> fileSystem, MessageBoxes& boxes,
                 std::vector<std::string> commandLine, QWidget* parent)
    : QWidget(parent),
      txtOutput_(new QPlainTextEdit(this)),
      tmr_(new QTimer(this)),
      statusLine_(new StatusLine(this)),
      progressTimer_(new QTimer(this)),
      boxes_(boxes),
      oFileSystem(std::move(fileSystem)),
      worker_(std::make_unique<SortWorker>(*oFileSystem, boxes_, [this] {
        takeRunLog();
        showProgress();
      })) {
  setWindowTitle(kTitle);
  // The log box fills the window but for a margin on every side; the status
  // line shows under it only while a run is under way.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->setSpacing(0);
  layout->addWidget(txtOutput_);
  layout->addWidget(statusLine_);
  stopButton()->setToolTip(tr("Stop before the next file (Esc)"));
  statusLine_->hide();
  connect(stopButton(), &QPushButton::clicked, this, &frmMain::stopRun);
  // Esc stops too, wherever the focus is in the window.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &frmMain::stopRun);
  resize(kClientWidth, kClientHeight);
  txtOutput_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtOutput_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The log is a record: it can be selected and copied, never edited (no
  // typing, undo, cut, paste or delete), and Tab leaves it.
  txtOutput_->setReadOnly(true);
  txtOutput_->setAcceptDrops(true);
  // The log box's own drop handling would paste dropped text into the log;
  // the window decides instead.
  txtOutput_->viewport()->installEventFilter(this);
  txtOutput_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(txtOutput_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const std::unique_ptr<QMenu> menu(createLogMenu());
    menu->exec(txtOutput_->viewport()->mapToGlobal(at));
  });
  onCollision_ = savedOnCollision();
  allMedia_ = QSettings(kSettingsOwner, kSettingsName).value(kAllMediaKey, false).toBool();
  followTheEnd();
  tmr_->setInterval(kTimerInterval);
  connect(tmr_, &QTimer::timeout, this, &frmMain::tmrTimer);
  progressTimer_->setInterval(kProgressInterval);
  connect(progressTimer_, &QTimer::timeout, this, [this] {
    takeRunLog();
    showProgress();
  });
  formLoad(std::move(commandLine));
}

frmMain::~frmMain() = default;

QWidget* frmMain::statusLine() const { return statusLine_; }
QPushButton* frmMain::stopButton() const { return statusLine_->stopButton(); }

// While the log box shows its newest line, it keeps showing it when the
// window shrinks or grows and the lines wrap anew.
void frmMain::followTheEnd() {
  QScrollBar* bar = txtOutput_->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this,
          [this, bar](int value) { followingEnd_ = value == bar->maximum(); });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (followingEnd_) bar->setValue(maximum);
  });
}

void frmMain::formLoad(std::vector<std::string> commandLine) {
  txtOutput_->setPlainText(QString());
  prt(toQString(log_lines::banner()));
  if (!commandLine.empty()) {
    sCommandLine.assign(std::make_move_iterator(commandLine.begin()),
                        std::make_move_iterator(commandLine.end()));
    tmr_->start();
  } else {
    prt(toQString(log_lines::hint()));
  }
}

// Costs the same however long the log is: the cursor jumps to the end
// without the text being read.
void frmMain::prt(const QString& sString) {
  txtOutput_->moveCursor(QTextCursor::End);
  txtOutput_->insertPlainText(sString);
}

void frmMain::tmrTimer() {
  tmr_->stop();  // first, so that the command line runs at most once
  if (bProcessing) return;
  ProcessPaths({std::exchange(sCommandLine, {})}, false);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched != txtOutput_->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: dragOver(*static_cast<QDragMoveEvent*>(event)); return true;
    case QEvent::Drop: dropFiles(*static_cast<QDropEvent*>(event)); return true;
    default: return QWidget::eventFilter(watched, event);
  }
}

// A file list is taken as a copy when the source offers one; anything else is
// refused.
void frmMain::dragOver(QDragMoveEvent& event) {
  if (isFileList(event.mimeData()) && (event.possibleActions() & Qt::CopyAction)) {
    event.setDropAction(Qt::CopyAction);
    event.accept();
  } else {
    event.setDropAction(Qt::IgnoreAction);
    event.ignore();
  }
}

// Each dropped path is a run of its own, then one "Finished" for the drop.
// The drop is a copy to its source, whatever keys the user holds: the run
// moves files, but only within the folders they lie in.
void frmMain::dropFiles(QDropEvent& event) {
  if (!isFileList(event.mimeData())) {
    event.ignore();
    return;
  }
  event.setDropAction(Qt::CopyAction);
  event.accept();
  std::vector<std::deque<std::string>> runs;
  for (const QUrl& url : event.mimeData()->urls()) runs.push_back({toPathBytes(url.toLocalFile())});
  ProcessPaths(std::move(runs), std::exchange(previewNextDrop_, false));
}

// Runs wait their turn behind the one under way, in the order they came.
void frmMain::ProcessPaths(std::vector<std::deque<std::string>> runs, bool preview) {
  waiting_.push_back({std::move(runs), preview});
  if (worker_->busy()) {
    showProgress();  // the status line counts the drops waiting
  } else {
    startNextBatch();
  }
}

void frmMain::startNextBatch() {
  if (worker_->busy() || waiting_.empty()) return;
  bProcessing = true;
  stopping_ = false;
  previewing_ = waiting_.front().preview;
  worker_->setPreview(previewing_);
  worker_->setOnCollision(onCollision_);
  worker_->setMedia(allMedia_, videoUtc_);
  worker_->start(std::move(waiting_.front().runs),
                 [this](const BatchOutcome& outcome) { batchEnded(outcome); });
  waiting_.pop_front();
  progressTimer_->start();
  showProgress();
}

// "Finished" when the batch went through; a failure is reported in a box,
// and in the log, which keeps it after the box is closed. The window lives
// on and takes the next batch.
// A preview only says where a run would stop: no box.
void frmMain::batchEnded(const BatchOutcome& outcome) {
  takeRunLog();
  bProcessing = outcome.bProcessing && !previewing_;
  const QString mark = previewing_ ? toQString(kPreviewMark) : QString();
  if (!outcome.failureReport.empty()) {
    prt(mark + toQString(log_lines::stopped(outcome.failureReport)));
    if (!previewing_) boxes_.show(outcome.failureReport, "Kelvane", Buttons::Ok, Icon::Critical);
  } else if (outcome.wentThrough) {
    prt(mark + toQString(log_lines::finished()));
  }
  if (closeWhenStopped_) {
    close();
    return;
  }
  startNextBatch();
  if (!worker_->busy()) {
    progressTimer_->stop();
    statusLine_->hide();
    setWindowTitle(kTitle);
  }
}

// The log box's own entries, then the window's: a preview of the next drop,
// and what a taken name does (kept between sessions).
QMenu* frmMain::createLogMenu() {
  QMenu* menu = txtOutput_->createStandardContextMenu();
  menu->addSeparator();
  QAction* preview = menu->addAction(tr("Preview the next drop (changes nothing)"));
  preview->setCheckable(true);
  preview->setChecked(previewNextDrop_);
  connect(preview, &QAction::toggled, this, [this](bool on) { previewNextDrop_ = on; });
  QMenu* taken = menu->addMenu(tr("When a name is taken in a date folder"));
  auto* choices = new QActionGroup(taken);
  for (const auto& [policy, text] : {std::pair{OnCollision::Stop, tr("Stop the run")},
                                     {OnCollision::Skip, tr("Leave the file and go on")},
                                     {OnCollision::Rename, tr("Move it under a numbered name")}}) {
    QAction* choice = taken->addAction(text);
    choice->setCheckable(true);
    choice->setChecked(onCollision_ == policy);
    choices->addAction(choice);
    connect(choice, &QAction::triggered, this, [this, policy = policy] {
      onCollision_ = policy;
      QSettings(kSettingsOwner, kSettingsName).setValue(kOnCollisionKey, static_cast<int>(policy));
    });
  }
  QAction* allMedia = menu->addAction(tr("Sort every photo and video format (raw, HEIC, PNG, videos...)"));
  allMedia->setCheckable(true);
  allMedia->setChecked(allMedia_);
  connect(allMedia, &QAction::toggled, this, [this](bool on) {
    allMedia_ = on;
    QSettings(kSettingsOwner, kSettingsName).setValue(kAllMediaKey, on);
  });
  menu->addSeparator();
  QAction* undo = menu->addAction(tr("Undo last run..."));
  undo->setEnabled(!busy());
  connect(undo, &QAction::triggered, this, &frmMain::undoLastRun);
  return menu;
}

// Asks first, saying how many files will move back; runs like a sort run.
void frmMain::undoLastRun() {
  if (busy()) return;
  std::unique_ptr<posix::UndoJournal> undo = holdLastRun();
  if (!undo) return;
  const journal::RunHistory& run = undo->run();
  if (run.undone) {
    QMessageBox::information(this, tr("Undo last run"),
                             tr("The last run, %1, is taken back already.").arg(toQString(run.id)));
    return;
  }
  const auto files = static_cast<int>(run.filesMoved() - std::min(run.filesMoved(), run.movedBack.size()));
  const QString question =
      tr("Move the %n file(s) of run %1 (started %2) back to where they were, and remove the date folders it "
         "made where they are empty?",
         nullptr, files)
          .arg(toQString(run.id), toQString(run.started));
  if (QMessageBox::question(this, tr("Undo last run"), question, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  previewing_ = false;
  stopping_ = false;
  worker_->startUndo(std::move(undo), [this](const BatchOutcome& outcome) { batchEnded(outcome); });
  progressTimer_->start();
  showProgress();
}

// The last run, held for taking it back; nothing, after a box saying why,
// when there is none or it is not to be taken back now (the lines --undo
// writes).
std::unique_ptr<posix::UndoJournal> frmMain::holdLastRun() {
  const posix::RunStore store(posix::RunStore::defaultFolder());
  std::unique_ptr<posix::UndoJournal> undo;
  try {
    const std::vector<std::string> ids = store.runIds();
    if (ids.empty()) {
      QMessageBox::information(this, tr("Undo last run"), tr("No run is recorded yet."));
      return nullptr;
    }
    undo = std::make_unique<posix::UndoJournal>(store, ids.back());
  } catch (const RuntimeFailure& failure) {
    boxes_.show(failure.report(), "Kelvane", Buttons::Ok, Icon::Critical);
    return nullptr;
  }
  if (undo->refusal().empty()) return undo;
  std::string lines;
  for (const std::string& line : undo->refusal()) lines += (lines.empty() ? "" : "\n") + line;
  boxes_.show(lines, "Undo last run", Buttons::Ok, Icon::Critical);
  return nullptr;
}

OnCollision frmMain::savedOnCollision() {
  const int saved = QSettings(kSettingsOwner, kSettingsName).value(kOnCollisionKey, 0).toInt();
  return saved == static_cast<int>(OnCollision::Skip)     ? OnCollision::Skip
         : saved == static_cast<int>(OnCollision::Rename) ? OnCollision::Rename
                                                          : OnCollision::Stop;
}

bool frmMain::busy() const { return worker_->busy() || !waiting_.empty(); }

void frmMain::stopRun() {
  if (!worker_->busy()) return;
  worker_->requestStop();
  stopping_ = true;
  showProgress();
}

// The lines of the run so far, in one insertion: many lines cost one layout.
void frmMain::takeRunLog() {
  const std::string lines = worker_->takeLog();
  if (!lines.empty()) prt(toQString(lines));
}

// What the run does, then where; the file's and the folder's names give way
// when the window is narrow. Stop rests while a box waits: the box takes no
// clicks elsewhere.
void frmMain::showProgress() {
  const RunProgress progress = worker_->progress();
  const QString file = toQString(progress.file);
  StatusText doing = progress.boxOpen        ? StatusText{tr("Waiting for your answer about \""), file, "\""}
                     : progress.file.empty() ? StatusText{tr("Starting..."), {}, {}}
                                             : StatusText{tr("Reading \""), file, "\""};
  if (stopping_) doing = {tr("Stopping before the next file..."), {}, {}};
  StatusText where;
  QString title = kTitle;
  if (progress.files > 0) {
    where = {tr("%1 of %2 done in ").arg(progress.done).arg(progress.files), toQString(progress.folder), {}};
    title = QStringLiteral("%1 of %2 - %3").arg(progress.done).arg(progress.files).arg(kTitle);
  }
  if (!waiting_.empty()) {
    const QString drops =
        waiting_.size() == 1 ? tr("1 more drop waiting") : tr("%1 more drops waiting").arg(waiting_.size());
    where.after = where.before.isEmpty() ? drops : QStringLiteral(" (%1)").arg(drops);
  }
  statusLine_->setLines(std::move(doing), std::move(where));
  stopButton()->setEnabled(!progress.boxOpen);
  setWindowTitle(title);
  statusLine_->show();
}

// Closing during a run stops it between two files, then closes; batches
// still waiting are not started.
void frmMain::closeEvent(QCloseEvent* event) {
  if (!worker_->busy()) {
    event->accept();
    return;
  }
  waiting_.clear();
  closeWhenStopped_ = true;
  stopRun();
  event->ignore();
}

}  // namespace kelvane
