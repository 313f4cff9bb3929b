#include "app/frm_main.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/text_conversion.h"
#include "platform/runtime_failure.h"
#include "sort/log_lines.h"
#include "sort/sort_run.h"

namespace kelvane {
namespace {

constexpr int kClientWidth = 408;  // 6120 × 3765 twips at 15 twips a pixel
constexpr int kClientHeight = 251;
constexpr int kMargin = 1;  // 10 twips, rounded to a whole pixel
constexpr int kTimerInterval = 100;

// A file list: local files and folders only. An empty list counts as one.
bool isFileList(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  const QList<QUrl> urls = data->urls();
  return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

// The boxes of a run: before one opens, the log box catches up, so that the
// log behind the box shows every line printed so far.
class frmMain::RunBoxes : public MessageBoxes {
 public:
  RunBoxes(frmMain& window, MessageBoxes& boxes) : window_(window), boxes_(boxes) {}
  Answer show(const std::string& prompt, const std::string& title, Buttons buttons, Icon icon) override {
    window_.flushRunLog();
    return boxes_.show(prompt, title, buttons, icon);
  }
  void fileLoadStarted() override { boxes_.fileLoadStarted(); }

 private:
  frmMain& window_;
  MessageBoxes& boxes_;
};

frmMain::frmMain(std::unique_ptr<FileSystem> fileSystem, MessageBoxes& boxes,
                 std::vector<std::string> commandLine, QWidget* parent)
    : QWidget(parent),
      txtOutput_(new QPlainTextEdit(this)),
      tmr_(new QTimer(this)),
      boxes_(boxes),
      oFileSystem(std::move(fileSystem)) {
  setWindowTitle(QStringLiteral("Kelvane"));
  // The log box fills the window but for a margin on every side.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->setSpacing(0);
  layout->addWidget(txtOutput_);
  resize(kClientWidth, kClientHeight);
  txtOutput_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtOutput_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  txtOutput_->setAcceptDrops(true);
  // The log box's own drop handling would paste dropped text into the log;
  // the window decides instead.
  txtOutput_->viewport()->installEventFilter(this);
  tmr_->setInterval(kTimerInterval);
  connect(tmr_, &QTimer::timeout, this, &frmMain::tmrTimer);
  formLoad(std::move(commandLine));
}

frmMain::~frmMain() = default;

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

// A run does not hand control back to the event loop, so nothing of the log
// box can be seen until it ends or a box opens. Its lines are therefore put
// into the box in one insertion then, instead of one layout per line.
void frmMain::append(std::string_view text) { runLog_.append(text); }

void frmMain::flushRunLog() {
  if (runLog_.empty()) return;
  prt(toQString(runLog_));
  runLog_.clear();
}

void frmMain::tmrTimer() {
  tmr_->stop();  // first, so that the command line runs at most once
  if (bProcessing) return;
  if (ProcessPaths(sCommandLine)) prt(toQString(log_lines::finished()));
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
void frmMain::dropFiles(QDropEvent& event) {
  if (!isFileList(event.mimeData())) {
    event.ignore();
    return;
  }
  event.acceptProposedAction();
  for (const QUrl& url : event.mimeData()->urls()) {
    std::deque<std::string> path{toPathBytes(url.toLocalFile())};
    if (!ProcessPaths(path)) return;
  }
  prt(toQString(log_lines::finished()));
}

// A run that stops on a failure is reported in a box, and in the log, which
// keeps it after the box is closed; the window lives on and takes the next
// drop.
bool frmMain::ProcessPaths(std::deque<std::string>& paths) {
  RunBoxes boxes(*this, boxes_);
  try {
    const bool done = SortRun(*oFileSystem, boxes, *this, bProcessing).processWholePaths(paths);
    flushRunLog();
    return done;
  } catch (const RuntimeFailure& failure) {
    append(log_lines::stopped(failure.report()));
    boxes.show(failure.report(), "Kelvane", Buttons::Ok, Icon::Critical);
    return false;
  }
}

}  // namespace kelvane
