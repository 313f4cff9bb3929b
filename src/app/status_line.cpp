#include "app/status_line.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <utility>

namespace kelvane {
namespace {

QString fitted(const StatusText& line, const QFontMetrics& metrics, int width) {
  const int room = width - metrics.horizontalAdvance(line.before) - metrics.horizontalAdvance(line.after);
  return line.before + metrics.elidedText(line.elidable, Qt::ElideMiddle, std::max(room, 0)) + line.after;
}

}  // namespace

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent), text_(new QLabel(this)), stopButton_(new QPushButton(tr("Stop"), this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(text_, 1);
  layout->addWidget(stopButton_);
  text_->setTextFormat(Qt::PlainText);
  // The text fits itself to the label, never the window to the text.
  text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusLine::setLines(StatusText first, StatusText second) {
  first_ = std::move(first);
  second_ = std::move(second);
  fitLines();
}

// The layout has placed the label by the time the line hears of its new size.
void StatusLine::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitLines();
}

// Always two lines, so that the log box does not jump as the text changes.
void StatusLine::fitLines() {
  const QFontMetrics metrics(text_->font());
  const int width = text_->contentsRect().width();
  text_->setText(fitted(first_, metrics, width) + QLatin1Char('\n') + fitted(second_, metrics, width));
}

}  // namespace kelvane
