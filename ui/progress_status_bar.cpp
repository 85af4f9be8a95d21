#include "progress_status_bar.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <limits>

namespace glim {

const QColor ProgressStatusBar::kBarColor(0, 0, 128);

int32_t progressBarRight(int32_t left, int32_t right, int32_t percent) {
  const int64_t span = int64_t(right) - int64_t(left);
  const int64_t edge = int64_t(left) + span * int64_t(percent) / 100;  // truncates toward zero
  return static_cast<int32_t>(std::clamp<int64_t>(edge, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

namespace {

// The progress panel's value for screen readers; the status bar draws the panel.
class ProgressValue : public QProgressBar {
 public:
  explicit ProgressValue(QWidget* parent) : QProgressBar(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {}
};

}  // namespace

ProgressStatusBar::ProgressStatusBar(QWidget* parent)
    : QWidget(parent), textPanel_(new QLabel(this)), progressValue_(new ProgressValue(this)) {
  setFixedHeight(kHeight);
  setAutoFillBackground(false);
  textPanel_->setAccessibleName(QStringLiteral("Status"));
  progressValue_->setAccessibleName(QStringLiteral("Progress"));
  progressValue_->setRange(0, 100);
  progressValue_->setValue(0);
  progressValue_->setTextVisible(false);
  for (QWidget* panel :
       {static_cast<QWidget*>(textPanel_), static_cast<QWidget*>(progressValue_)}) {
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    panel->setFocusPolicy(Qt::NoFocus);
  }
}

void ProgressStatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  textPanel_->setGeometry(1, 1, kTextPanelWidth - 2, height() - 2);
  progressValue_->setGeometry(progressPanelRect());
}

QRect ProgressStatusBar::progressPanelRect() const {
  // Panels are sunken frames two pixels apart; the drawn area is inside the one-pixel frame.
  const QRect outer(QPoint(kTextPanelWidth + 2, 0), QPoint(width() - 1, height() - 1));
  return outer.adjusted(1, 1, -1, -1);
}

void ProgressStatusBar::SetProStatus(int32_t value) {
  progressValue_->setValue(std::clamp(value, 0, 100));
  if (value < progress_) {
    progress_ = value;
    repaint();  // a shorter bar needs the panel erased first
    return;
  }
  progress_ = value;
  SBarPaintMore();
}

void ProgressStatusBar::SBarPaintMore() {
  // Only the remembered panel is painted, synchronously, before control returns to the caller.
  if (!progressRect_.isEmpty()) repaint(progressRect_);
}

void ProgressStatusBar::paintEvent(QPaintEvent* event) {
  if (event->rect().contains(rect())) ++fullPaints_;
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());

  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.lineWidth = 1;
  frame.midLineWidth = 0;
  frame.state |= QStyle::State_Sunken;
  const QRect panel1 = progressPanelRect();
  for (const QRect& outer :
       {QRect(0, 0, kTextPanelWidth, height()), panel1.adjusted(-1, -1, 1, 1)}) {
    frame.rect = outer;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
  }

  // The panel draw handler: the bar from the left edge, full panel height, in navy.
  const int32_t right = progressBarRight(panel1.left(), panel1.right() + 1, progress_);
  if (right > panel1.left()) {
    painter.setClipRect(rect());
    painter.fillRect(QRect(QPoint(panel1.left(), panel1.top()), QPoint(right - 1, panel1.bottom())),
                     kBarColor);
  }
  progressRect_ = panel1;
}

}  // namespace glim
