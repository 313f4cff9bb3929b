// A window that drags files onto other windows, so that a drop can be tried
// end to end under a virtual X server with a scripted mouse
// (tests/e2e/drag_and_drop.sh).
//
// Usage: kelvane_drag_source [--pos X,Y] PATH...
//
// Pressing the left button on the window and moving past the start-drag
// distance drags PATHs as a file list (one local URL each), offering copy
// and move with copy preferred, as a file manager does. Each finished drag
// prints "drag result: N" (N the Qt::DropAction taken, 0 for none) on
// standard output. --pos places the window's top-left corner: with no window
// manager a position set before show() is kept, so a script knows where to
// press.
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QMimeData>
#include <QMouseEvent>
#include <QPoint>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace {

class DragSource : public QLabel {
 public:
  explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
    setWindowTitle(QStringLiteral("Kelvane drag source"));
    setText(QStringLiteral("Drag %1 path(s) from here").arg(urls_.size()));
    setAlignment(Qt::AlignCenter);
    setFixedSize(200, 120);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) pressedAt_ = event->position().toPoint();
  }

  void mouseReleaseEvent(QMouseEvent*) override { pressedAt_.reset(); }

  void mouseMoveEvent(QMouseEvent* event) override {
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - *pressedAt_).manhattanLength() < QApplication::startDragDistance())
      return;
    pressedAt_.reset();
    auto* mimeData = new QMimeData;
    mimeData->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData);
    const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    std::printf("drag result: %d\n", static_cast<int>(result));
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
  std::optional<QPoint> pressedAt_;
};

// "X,Y" → the point; anything else → nothing.
std::optional<QPoint> parsePosition(const char* text) {
  const QList<QByteArray> parts = QByteArray(text).split(',');
  if (parts.size() != 2) return std::nullopt;
  bool xOk = false;
  bool yOk = false;
  const QPoint point(parts[0].toInt(&xOk), parts[1].toInt(&yOk));
  if (!xOk || !yOk) return std::nullopt;
  return point;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::optional<QPoint> position;
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pos") == 0 && i + 1 < argc) {
      position = parsePosition(argv[++i]);
      if (!position) {
        std::fprintf(stderr, "kelvane_drag_source: --pos takes X,Y\n");
        return 2;
      }
      continue;
    }
    // The bytes of the argument name the file, as the file name codec reads them.
    urls.append(QUrl::fromLocalFile(QDir::current().absoluteFilePath(QFile::decodeName(argv[i]))));
  }
  if (urls.isEmpty()) {
    std::fprintf(stderr, "usage: kelvane_drag_source [--pos X,Y] PATH...\n");
    return 2;
  }
  DragSource window(std::move(urls));
  if (position) window.move(*position);
  window.show();
  return QApplication::exec();
}
