#include "picture_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "focus_frame.h"

namespace glim {

PictureButton::PictureButton(const QPixmap& normal, const QPixmap& pressed,
                             bool pressedVisibleAtStart, QWidget* parent)
    : QAbstractButton(parent),
      normal_(normal),
      pressed_(pressed),
      pressedShown_(pressedVisibleAtStart) {
  setFixedSize(normal.deviceIndependentSize().toSize());
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (pressedShown_) painter.drawPixmap(0, 0, pressed_);
  if (normalShown_) painter.drawPixmap(0, 0, normal_);
  // The focus shows as the style shows it on other controls: when it came from the keyboard.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    paintFocusFrame(painter, rect(), palette(), 2);
  }
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
  // Space is the button class's own; Enter presses as well.
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    if (!event->isAutoRepeat()) click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void PictureButton::setHint(const QString& hint) {
  setToolTip(hint);
  setAccessibleDescription(hint);
}

void PictureButton::showPressed(bool pressed) {
  if (pressedShown_ == pressed && normalShown_ == !pressed) return;
  pressedShown_ = pressed;
  normalShown_ = !pressed;
  update();
}

void PictureButton::resetImages() {
  showPressed(false);
  pressedFlag_ = false;
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
  // Any mouse button shows the pressed picture and holds the button until its release; only
  // the left one clicks.
  showPressed(true);
  pressedFlag_ = true;
  if (event->button() == Qt::LeftButton) QAbstractButton::mousePressEvent(event);
  event->accept();
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) {
  if (pressedFlag_) showPressed(hitButton(event->position().toPoint()));
  QAbstractButton::mouseMoveEvent(event);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
  // A left release over the button clicks here, before the pictures are reset; the action may
  // show a modal box or close the window.
  QPointer<PictureButton> self(this);
  if (event->button() == Qt::LeftButton) QAbstractButton::mouseReleaseEvent(event);
  if (self) resetImages();
  event->accept();
}

}  // namespace glim
