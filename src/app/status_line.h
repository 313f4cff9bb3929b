// The status line under the log during a run: two lines of text, each kept
// to the width the window gives it, and Stop.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace kelvane {

// One line of the status line. When it is too wide, `elidable` loses its
// middle; `before` and `after` stay whole.
struct StatusText {
  QString before;
  QString elidable;
  QString after;
};

class StatusLine : public QWidget {
  Q_OBJECT

 public:
  explicit StatusLine(QWidget* parent);

  void setLines(StatusText first, StatusText second);
  QPushButton* stopButton() const { return stopButton_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitLines();

  QLabel* text_;
  QPushButton* stopButton_;
  StatusText first_;
  StatusText second_;
};

}  // namespace kelvane
